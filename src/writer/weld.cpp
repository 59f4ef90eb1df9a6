#include "writer/weld.h"

#include "scene/near.h"
#include "writer/typical_edge.h"

namespace {

// Whether two keys at the same lone position match: the positions are equal
// and finite, so the rest decides.
bool restNear(const Mesh& mesh, const FaceCorner& a, const FaceCorner& b, bool twoSets) {
    return near(&mesh.normals[a.normal].x, &mesh.normals[b.normal].x, 3, kWeldTolerance) &&
           near(&mesh.mapChannels[0][a.tex[0]].u, &mesh.mapChannels[0][b.tex[0]].u, 2, kWeldTolerance) &&
           (!twoSets || near(&mesh.mapChannels[1][a.tex[1]].u, &mesh.mapChannels[1][b.tex[1]].u, 2, kWeldTolerance));
}

}  // namespace

int32_t* Welder::begin(const Mesh& mesh) {
    const int32_t corners = 3 * mesh.faces.count;
    // Every corner may be unique.
    unique.reserve(corners);
    indices.reserve(corners);
    unique.count = 0;
    indices.count = corners;
    gridReady = false;
    edge = typicalEdge(mesh);

    // Worth a table per position index only where positions serve corners.
    tracked = nullptr;
    twins = false;
    anyLone = false;
    crowded = 0;
    gridKeys = corners;
    const int32_t count = mesh.vertices.count;
    if (corners == 0 || count > corners) return nullptr;
    positions.reserve(count);
    tracked = positions.items;
    // Corners at a crowded position remember the last one there only where
    // positions serve several corners each.
    twins = 2 * count <= corners;
    const int32_t crowdedPositions = lone.mark(mesh, edge, tracked);
    if (crowdedPositions < 0) {
        if (!twins) return tracked = nullptr;
        for (int32_t p = 0; p < count; ++p) tracked[p] = kCrowded;
        return tracked;
    }
    links.reserve(corners);
    anyLone = crowdedPositions < count;
    // Corners at crowded positions, if positions serve corners evenly, with
    // room to spare.
    const int64_t share = 2 * (int64_t)crowdedPositions * ((corners + count - 1) / count) + 64;
    if (share < corners) gridKeys = (int32_t)share;
    return tracked;
}

int32_t Welder::matchAtPosition(const Mesh& mesh, const FaceCorner& corner, int32_t state, bool withSecondSet,
                                int32_t& keys) const {
    // Newest first: the last match along the chain is the first key.
    int32_t found = -1;
    keys = 0;
    for (;; state = links.items[(state & ~kMoreKeys) - 1]) {
        const int32_t number = (state & ~kMoreKeys) - 1;
        ++keys;
        const FaceCorner& key = weldCorner(mesh, unique.items[number]);
        // The same indices give the same key, which can match.
        if (sameIndices(key, corner, withSecondSet) || restNear(mesh, key, corner, withSecondSet))
            found = number;
        if (!(state & kMoreKeys)) return found;
    }
}

void Welder::prepareGrid(const Mesh& mesh) {
    if (gridReady) return;
    grid.reset(mesh, gridKeys, twoSets, unique.items, edge);
    gridReady = true;
}

int32_t Welder::crowd(const Mesh& mesh, int32_t p) {
    // Keys crowd positions where most corners have keys of their own: room
    // for them all.
    gridKeys = 3 * mesh.faces.count;
    prepareGrid(mesh);
    grid.expect(gridKeys);
    for (int32_t state = tracked[p];; state = links.items[(state & ~kMoreKeys) - 1]) {
        const int32_t number = (state & ~kMoreKeys) - 1;
        grid.insert(number, weldCorner(mesh, unique.items[number]));
        if (!(state & kMoreKeys)) break;
    }
    return tracked[p] = kCrowded;
}

int32_t Welder::search(const Mesh& mesh, const FaceCorner& corner, int32_t c, bool withSecondSet, bool& added) {
    prepareGrid(mesh);
    const WeldGrid::Location at = grid.locate(corner);
    const int32_t found = grid.find(corner, at);
    added = found < 0;
    if (found >= 0) {
        if (twins) tracked[corner.vertex] = kCrowded - 1 - c;
        return found;
    }
    const int32_t number = unique.count++;
    unique.items[number] = c;
    grid.add(number, at);
    // Later corners with these indices match this new key, unless it matches
    // nothing at all.
    if (twins && weldKeyCanMatch(makeWeldKey(mesh, corner, withSecondSet), withSecondSet))
        tracked[corner.vertex] = kCrowded - 1 - c;
    return number;
}
