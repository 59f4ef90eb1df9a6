#pragma once
#include "platform/array.h"
#include "scene/scene.h"
#include "writer/weld_grid.h"

#include <cstdint>

// Welds the corners of one mesh after another. Corners are numbered in
// welding order: triangles in order, within each the third, second, first
// corner. Storage is kept from mesh to mesh, so once grown, welding
// allocates nothing.
class Welder {
public:
    Welder() = default;

    // Welds every corner of the mesh. Afterwards unique holds, for each
    // unique key in order of first appearance, the number of the corner it
    // was first seen at, and indices one entry per corner naming the first
    // unique key its key matches: what a scan of the unique list from its
    // start finds. Near-linear in the number of corners. onUnique(corner)
    // is called for each corner that starts a unique key, in their order,
    // while its data is at hand.
    template <typename OnUnique>
    void weld(const Mesh& mesh, bool twoSets, OnUnique&& onUnique);

    void weld(const Mesh& mesh, bool twoSets) {
        weld(mesh, twoSets, [](const FaceCorner&) {});
    }

    Array<int32_t> unique;
    Array<uint16_t> indices;

private:
    // Prepares the storage; returns the table of the last corner + 1 whose
    // key matched, per position index, or null when not worth keeping.
    int32_t* begin(const Mesh& mesh, bool twoSets);

    WeldGrid grid;
    Array<int32_t> lastCorner;

    Welder(const Welder&) = delete;
    Welder& operator=(const Welder&) = delete;
};

// Corner c in welding order.
inline const FaceCorner& weldCorner(const Mesh& mesh, int32_t c) {
    return mesh.faces.items[c / 3].corners[2 - c % 3];
}

template <typename OnUnique>
void Welder::weld(const Mesh& mesh, bool twoSets, OnUnique&& onUnique) {
    // A corner with the same indices as an earlier corner has the same key
    // and so the same result, once that corner's key has matched or been
    // added as one that can match.
    int32_t* last = begin(mesh, twoSets);
    uint16_t* index = indices.items;
    int32_t c = 0;
    for (int32_t t = 0; t < mesh.faces.count; ++t) {
        const MeshFace& face = mesh.faces.items[t];
        for (int k = 2; k >= 0; --k, ++c) {
            const FaceCorner& corner = face.corners[k];
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
            } else {
                const int32_t number = unique.count++;
                unique.items[number] = c;
                grid.add(number, at);
                index[c] = (uint16_t)number;
                // Later corners with these indices match this new key, unless
                // it matches nothing at all.
                if (last && weldKeyCanMatch(makeWeldKey(mesh, corner, twoSets), twoSets))
                    last[corner.vertex] = c + 1;
                onUnique(corner);
            }
        }
    }
}
