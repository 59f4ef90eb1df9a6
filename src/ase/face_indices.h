#pragma once
#include <cstdint>

// One *MESH_FACE line: vertex numbers of corners A, B, C and the material id.
struct FaceIndices {
    int32_t a;
    int32_t b;
    int32_t c;
    int32_t materialId;
};
