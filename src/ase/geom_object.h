#pragma once
#include "ase/material.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

// Starts right after "*GEOMOBJECT"; consumes the block. 1 on success.
int parseGeomObject(Mesh* mesh, Tokenizer& tokenizer, const MaterialTable& materials);
int parseNodeTm(Mesh* mesh, Tokenizer& tokenizer);

// Called when a geometry object has no material reference, with exit status
// -1; the program wires it to the standard exit. Should it return, the object
// fails.
extern void (*gMissingMaterialRefExit)(int status);
