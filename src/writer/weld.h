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
// every key its corner can match. A lone position that gathers many keys
// moves them into the grid and counts as crowded from then on; once a few
// have, positions met later count as crowded at once.
class Welder {
public:
    Welder() = default;

    // Welds every corner of the mesh. Afterwards unique holds, for each
    // unique key in order of first appearance, the number of the corner it
    // was first seen at, and indices one entry per corner naming the first
    // unique key its key matches: what a scan of the unique list from its
    // start finds. Near-linear in the number of corners. onUnique(corner)
    // is called for each corner that starts a unique key, in their order,
    // while its data is at hand; it returns whether the corner's key can
    // match (its position being finite, whether the rest is), which it is
    // placed to find cheaply.
    template <typename OnUnique>
    void weld(const Mesh& mesh, bool twoSets, OnUnique&& onUnique);

    void weld(const Mesh& mesh, bool withSecondSet) {
        weld(mesh, withSecondSet, [&](const FaceCorner& corner) {
            return weldKeyCanMatch(makeWeldKey(mesh, corner, withSecondSet), withSecondSet);
        });
    }

    Array<int32_t> unique;
    Array<uint16_t> indices;

private:
    // Per position index while welding: at a lone position, the newest key
    // number there + 1 (0 for none), with kMoreKeys where older ones follow
    // in links; elsewhere kCrowded, or kCrowded - 1 - c once corner c there
    // has matched or added a key that can match.
    static const int32_t kCrowded = -1;
    static const int32_t kMoreKeys = 1 << 30;

    // Prepares the storage; returns the table per position index, or null
    // when positions outnumber corners and every corner is searched.
    int32_t* begin(const Mesh& mesh);

    // The first key at a lone position, from the chain its state starts,
    // that the corner's key matches; -1 for none. keys tells the chain's
    // length.
    int32_t matchAtPosition(const Mesh& mesh, const FaceCorner& corner, int32_t state, bool twoSets,
                            int32_t& keys) const;

    // Keys a lone position chains before its keys move into the grid, and
    // positions whose keys may move before no more chains are begun.
    static const int32_t kLongestChain = 4;
    static const int32_t kMostCrowded = 16;
    int32_t crowded = 0;

    // Moves the keys of lone position p into the grid; returns its new state.
    int32_t crowd(const Mesh& mesh, int32_t p);

    // The spatial search for a corner at a crowded position: the number of
    // the first key it matches, or of the key it adds.
    int32_t search(const Mesh& mesh, const FaceCorner& corner, int32_t c, bool twoSets, bool& added);

    void prepareGrid(const Mesh& mesh);

    LonePositions lone;
    WeldGrid grid;
    bool gridReady = false;
    int32_t gridKeys = 0;  // about as many keys as the grid may get
    bool twoSets = false;
    double edge = 0;
    Array<int32_t> positions;
    int32_t* tracked = nullptr;  // positions.items while in use
    bool twins = false;          // whether crowded positions remember a corner
    bool anyLone = false;        // whether lone positions begin chains
    Array<int32_t> links;        // per key number at a lone position with older ones: their state

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
    const int32_t corners = 3 * mesh.faces.count;
    if (!at) {
        // Every corner searched, as where each face has positions of its own.
        prepareGrid(mesh);
        CornerWalk walk(mesh);
        for (int32_t c = 0; c < corners; ++c, walk.next()) {
            const FaceCorner& corner = *walk;
            const WeldGrid::Location location = grid.locate(corner);
            const int32_t found = grid.find(corner, location);
            if (found >= 0) {
                index[c] = (uint16_t)found;
                continue;
            }
            first[count] = c;
            grid.add(count, location);
            index[c] = (uint16_t)count++;
            onUnique(corner);
        }
        unique.count = count;
        return;
    }
    CornerWalk walk(mesh);
    for (int32_t c = 0; c < corners; ++c, walk.next()) {
        // The common case in a loop of its own, free of calls: a lone
        // position with no key yet.
        if (anyLone) {
            for (; c < corners; ++c, walk.next()) {
                const FaceCorner& corner = *walk;
                int32_t& state = at[corner.vertex];
                if (state > 0) {
                    // A lone position whose only key has the same indices.
                    const int32_t number = state - 1;
                    if (state & kMoreKeys) break;
                    const FaceCorner& key = weldCorner(mesh, first[number]);
                    // sameIndices, spelled out: through the call the
                    // compiler lays out this loop's registers worse (the
                    // all-distinct mesh welds a tenth slower).
                    if (key.normal != corner.normal || key.tex[0] != corner.tex[0] ||
                        (twoSets && key.tex[1] != corner.tex[1]))
                        break;
                    index[c] = (uint16_t)number;
                    continue;
                }
                if (state != 0) break;
                // A key that matches nothing gets no place in the chain.
                // The corner is read before anything is stored.
                const bool canMatch = onUnique(corner);
                first[count] = c;
                index[c] = (uint16_t)count;
                if (canMatch) state = count + 1;
                ++count;
            }
            if (c == corners) break;
        }
        const FaceCorner& corner = *walk;
        int32_t state = at[corner.vertex];
        // Once many positions have had many keys, as where each corner has a
        // normal of its own, positions met later go to the grid at once.
        if (state == 0 && !anyLone) state = at[corner.vertex] = kCrowded;
        if (state >= 0) {
            int32_t keys = 0;
            const int32_t found = state > 0 ? matchAtPosition(mesh, corner, state, twoSets, keys) : -1;
            if (found >= 0) {
                index[c] = (uint16_t)found;
                continue;
            }
            if (keys < kLongestChain) {
                first[count] = c;
                index[c] = (uint16_t)count;
                if (onUnique(corner)) {
                    if (state > 0) link[count] = state;
                    at[corner.vertex] = (count + 1) | (state > 0 ? kMoreKeys : 0);
                }
                ++count;
                continue;
            }
            // Many keys at one position: the grid tells them apart faster.
            unique.count = count;
            state = crowd(mesh, corner.vertex);
            if (++crowded == kMostCrowded) anyLone = false;
        }
        // A corner with the same indices as an earlier corner at this
        // position has the same key and so the same result, once that
        // corner's key has matched or been added as one that can match.
        if (state < kCrowded) {
            const int32_t before = kCrowded - 1 - state;
            const FaceCorner& twin = weldCorner(mesh, before);
            if (sameIndices(twin, corner, twoSets)) {
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
    unique.count = count;
}
