#pragma once
#include "platform/array.h"
#include "scene/scene.h"

#include <cstdint>

// A corner's data as read, before conversion: position, normal, first and
// (with two texture sets) second texture coordinates; zeros otherwise.
struct WeldKey {
    float position[3];
    float normal[3];
    float tex[4];
};

// Largest difference per component for two corners to share a record:
// 1e-5 as a float (bits 0x3727C5AC).
const float kWeldTolerance = 1e-5f;

// Builds a corner's key; corner order within a triangle is third, second,
// first.
WeldKey makeWeldKey(const Mesh& mesh, const FaceCorner& corner, bool twoSets);

// True when b may share a with the tolerance: positions, normals, first set,
// and the second set only with two texture sets.
bool weldMatch(const WeldKey& a, const WeldKey& b, bool twoSets);

// Welds every corner of the mesh: unique receives the keys in order of first
// appearance, indices one entry per corner naming the first matching key.
void weldCorners(const Mesh& mesh, bool twoSets, Array<WeldKey>& unique, Array<uint16_t>& indices);
