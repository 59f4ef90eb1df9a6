#pragma once
#include "ase/material.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

// Starts right after "*GEOMOBJECT"; consumes the block. 1 on success; an
// object without vertices and faces succeeds with *empty set (when given)
// and no subsets.
int parseGeomObject(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, const MaterialTable& materials,
                    bool* empty = nullptr);
int parseNodeTm(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer);

// The scene loop's step for a "*GEOMOBJECT" just read: the mesh, logged, or
// null when the object fails or is empty (then *empty is set). Its record
// comes from the context's allocator.
Mesh* readGeomObject(ReadContext& context, Tokenizer& tokenizer, const MaterialTable& materials, bool* empty);
