#pragma once
#include "ase/tokenizer.h"
#include "platform/array.h"

#include <cstdint>

// The smoothing groups of a face list already read, taken again from its
// bytes, from (a position right after *MESH_FACE_LIST) to to (where its read
// ended). The face list's own reads pass them over, so a file that holds
// normals pays nothing for them.
//
// Per face a mask, bit n - 1 for group n: "*MESH_SMOOTHING 1,2" gives 3;
// numbers outside 1 to 32, and a *MESH_SMOOTHING without numbers, give none.
// A face's *MESH_SMOOTHING may stand before or after its *MESH_MTLID. Faces
// follow the face list's reads: the n-th *MESH_FACE that starts a face is face
// n. groups gets faceCount masks; 0 when memory ran out.
int readSmoothingGroups(const Tokenizer& tokenizer, int32_t from, int32_t to, int32_t faceCount,
                        Array<uint32_t>& groups);
