#include "writer/weld.h"

#include <cstring>

int32_t* Welder::begin(const Mesh& mesh, bool twoSets) {
    const int32_t corners = 3 * mesh.faces.count;
    // Every corner may be unique.
    unique.reserve(corners);
    indices.reserve(corners);
    unique.count = 0;
    indices.count = corners;
    grid.reset(mesh, corners, twoSets, unique.items);

    // Worth remembering per position index when positions serve several
    // corners each.
    const int32_t positions = mesh.vertices.count;
    if (corners == 0 || 2 * positions > corners) return nullptr;
    lastCorner.reserve(positions);
    std::memset(lastCorner.items, 0, (size_t)positions * sizeof(int32_t));
    return lastCorner.items;
}
