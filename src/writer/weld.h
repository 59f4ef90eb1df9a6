#pragma once
#include "platform/array.h"
#include "scene/scene.h"
#include "writer/lone_positions.h"
#include "writer/weld_grid.h"
#include "writer/weld_key.h"

#include <cstdint>

// Welds the corners of one mesh after another. Corners are numbered in
// welding order (see weldCorner). Storage is kept from mesh to mesh, so once
// grown, welding allocates nothing.
//
// Most positions have no other position within the tolerance. A corner at
// such a lone position can only match keys first seen at the same position
// index, which are chained per position; only corners at the other,
// crowded positions go through the spatial search of WeldGrid. Corners at
// lone and at crowded positions never match each other, so each search sees
// every key its corner can match.
// Whether the normal and texture coordinates of a corner's key are all
// finite: at a lone position, whose coordinates are, whether it can match.
inline bool weldRestCanMatch(const Mesh& mesh, const FaceCorner& corner, bool twoSets) {
    const Vec3& n = mesh.normals[corner.normal];
    const TexVertex& t = mesh.mapChannels[0][corner.tex[0]];
    const TexVertex s = twoSets ? mesh.mapChannels[1][corner.tex[1]] : TexVertex{0.0f, 0.0f};
    const float values[8] = {n.x, n.y, n.z, t.u, t.v, s.u, s.v, 0.0f};
    uint32_t bits[8];
    std::memcpy(bits, values, sizeof bits);
    uint32_t all = 0;
    for (int i = 0; i < 8; ++i) all |= ((bits[i] & 0x7F800000u) + 0x00800000u);
    return (all & 0x80000000u) == 0;
}

class Welder {
public:
    Welder() = default;

    // Welds every corner of the mesh. Afterwards unique holds, for each
    // unique key in order of first appearance, the number of the corner it
    // was first seen at, and indices one entry per corner naming the first
    // unique key its key matches: what a scan of the unique list from its
    // start finds. Near-linear in the number of corners. onUnique(corner)
    // is called for each corner that starts a unique key, in their order,
    // while its data is at hand; it returns weldRestCanMatch(mesh, corner,
    // twoSets), which it is placed to find cheaply.
    template <typename OnUnique>
    void weld(const Mesh& mesh, bool twoSets, OnUnique&& onUnique);

    void weld(const Mesh& mesh, bool withSecondSet) {
        weld(mesh, withSecondSet,
             [&](const FaceCorner& corner) { return weldRestCanMatch(mesh, corner, withSecondSet); });
    }

    Array<int32_t> unique;
    Array<uint16_t> indices;

private:
    // Per position index while welding: at a lone position, the newest key
    // number there + 1 (0 for none); elsewhere kCrowded, or kCrowded - 1 - c
    // once corner c there has matched or added a key that can match.
    static const int32_t kCrowded = -1;

    // Prepares the storage; returns the table per position index, or null
    // when positions outnumber corners and every corner is searched.
    int32_t* begin(const Mesh& mesh);

    // The first key at a lone position, from the chain starting at newest,
    // that the corner's key matches; -1 for none.
    int32_t matchAtPosition(const Mesh& mesh, const FaceCorner& corner, int32_t newest, bool twoSets) const;

    // The spatial search for a corner at a crowded position: the number of
    // the first key it matches, or of the key it adds.
    int32_t search(const Mesh& mesh, const FaceCorner& corner, int32_t c, bool twoSets, bool& added);

    LonePositions lone;
    WeldGrid grid;
    bool gridReady = false;
    int32_t gridKeys = 0;  // about as many keys as the grid may get
    bool twoSets = false;
    double edge = 0;
    Array<int32_t> positions;
    int32_t* tracked = nullptr;  // positions.items while in use
    Array<int32_t> links;        // per key number at a lone position: the next older + 1

    Welder(const Welder&) = delete;
    Welder& operator=(const Welder&) = delete;
};

template <typename OnUnique>
void Welder::weld(const Mesh& mesh, bool withSecondSet, OnUnique&& onUnique) {
    twoSets = withSecondSet;
    int32_t* at = begin(mesh);
    int32_t* first = unique.items;
    uint16_t* index = indices.items;
    int32_t* link = links.items;
    int32_t count = 0;
    const MeshFace* face = mesh.faces.items;
    const int32_t corners = 3 * mesh.faces.count;
    for (int32_t c = 0; c < corners; ++face) {
        for (int k = 2; k >= 0; --k, ++c) {
            const FaceCorner& corner = face->corners[k];
            const int32_t state = at ? at[corner.vertex] : kCrowded;
            // The common case first: a lone position with no key yet.
            if (state == 0) {
                first[count] = c;
                index[c] = (uint16_t)count;
                // A key that matches nothing gets no place in the chain.
                if (onUnique(corner)) {
                    link[count] = 0;
                    at[corner.vertex] = count + 1;
                }
                ++count;
                continue;
            }
            if (state > 0) {
                const int32_t found = matchAtPosition(mesh, corner, state - 1, twoSets);
                if (found >= 0) {
                    index[c] = (uint16_t)found;
                    continue;
                }
                first[count] = c;
                index[c] = (uint16_t)count;
                if (onUnique(corner)) {
                    link[count] = state;
                    at[corner.vertex] = count + 1;
                }
                ++count;
                continue;
            }
            // A corner with the same indices as an earlier corner at this
            // position has the same key and so the same result, once that
            // corner's key has matched or been added as one that can match.
            if (state < kCrowded) {
                const int32_t before = kCrowded - 1 - state;
                const FaceCorner& twin = weldCorner(mesh, before);
                if (twin.normal == corner.normal && twin.tex[0] == corner.tex[0] &&
                    (!twoSets || twin.tex[1] == corner.tex[1])) {
                    index[c] = index[before];
                    continue;
                }
            }
            unique.count = count;
            bool added;
            index[c] = (uint16_t)search(mesh, corner, c, twoSets, added);
            if (added) {
                count = unique.count;
                onUnique(corner);
            }
        }
    }
    unique.count = count;
}
