#pragma once
#include "ase/face_indices.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "platform/array.h"
#include "scene/scene.h"

// Normals listed apart, as q3map2 and some Blender exporters write them:
// every *MESH_FACENORMAL first, then one *MESH_VERTEXNORMAL per vertex, keyed
// by its number. Kept out of the mesh block's file so that the per-corner
// layout's line reads stay inlined there.

// Reads the rest of the block; the tokenizer stands right after the second
// "*MESH_FACENORMAL". The normal of vertex v becomes normal v. given is a
// zeroed table with one entry per vertex. 1 on success.
int parseNormalsPerVertex(ReadContext& context, Mesh* mesh, Tokenizer& tokenizer, Array<int32_t>& given);

// Each corner takes its vertex's normal, once the face list is known. Corners
// of faces the list did not give keep theirs; the face count check refuses
// such a mesh later.
void assignVertexNormals(Mesh* mesh, const Array<FaceIndices>& faceList);
