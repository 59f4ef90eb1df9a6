#include "writer/weld.h"

#include <cstring>

bool Welder::weld(const Mesh& mesh, bool twoSets) {
    const int32_t corners = 3 * mesh.faces.count;
    // Every corner may be unique.
    if (!unique.tryReserve(corners) || !indices.tryReserve(corners)) return false;
    unique.count = 0;
    indices.count = corners;
    if (!grid.reset(mesh, corners, twoSets, unique.items)) return false;
    // Worth remembering per position index where positions serve several
    // corners each.
    int32_t* last = nullptr;
    if (corners > 0 && 2 * mesh.vertices.count <= corners) {
        if (!lastAtPosition.tryReserve(mesh.vertices.count)) return false;
        last = lastAtPosition.items;
        std::memset(last, 0, (size_t)mesh.vertices.count * sizeof(int32_t));
    }

    uint16_t* index = indices.items;
    int32_t c = 0;
    for (int32_t t = 0; t < mesh.faces.count; ++t) {
        const MeshFace& face = mesh.faces.items[t];
        for (int k = 2; k >= 0; --k, ++c) {
            const FaceCorner& corner = face.corners[k];
            // The same indices as an earlier corner: the same key, and so the
            // same result, once that key has matched or been added as one
            // that can match.
            if (last && last[corner.vertex] != 0) {
                const int32_t before = last[corner.vertex] - 1;
                const FaceCorner& twin = weldCorner(mesh, before);
                if (twin.normal == corner.normal && twin.tex[0] == corner.tex[0] &&
                    (!twoSets || twin.tex[1] == corner.tex[1])) {
                    index[c] = index[before];
                    continue;
                }
            }
            const WeldGrid::Location at = grid.locate(corner);
            const int32_t found = grid.find(corner, at);
            if (found >= 0) {
                index[c] = (uint16_t)found;
                if (last) last[corner.vertex] = c + 1;
                continue;
            }
            const int32_t number = unique.count++;
            unique.items[number] = c;
            grid.add(number, at);
            index[c] = (uint16_t)number;
            if (last && weldKeyCanMatch(makeWeldKey(mesh, corner, twoSets), twoSets)) last[corner.vertex] = c + 1;
        }
    }
    return true;
}
