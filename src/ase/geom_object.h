#pragma once
#include "ase/material.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

// Starts right after "*GEOMOBJECT"; consumes the block. 1 on success.
int parseGeomObject(Mesh* mesh, Tokenizer& tokenizer, const MaterialTable& materials);
int parseNodeTm(Mesh* mesh, Tokenizer& tokenizer);

// The scene loop's step for a "*GEOMOBJECT" just read: the mesh, logged, or
// null when the object fails.
Mesh* readGeomObject(Tokenizer& tokenizer, const MaterialTable& materials);

// Called when a geometry object has no material reference, with exit status
// -1; the program wires it to the standard exit. Should it return, the object
// fails.
extern void (*gMissingMaterialRefExit)(int status);
// Per thread: when set, called instead of gMissingMaterialRefExit. A worker
// thread notes the event; the main thread acts on it in reading order.
extern thread_local void (*gThreadMissingMaterialRef)(int status);
// Calls this thread's handler, or else gMissingMaterialRefExit, with -1.
void missingMaterialRefExit();
