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

    // Worth a table per position index only where positions serve corners;
    // the cells name positions in 16 bits.
    tracked = nullptr;
    gridKeys = corners;
    const int32_t count = mesh.vertices.count;
    if (corners == 0 || count > corners || count > 65535) return nullptr;
    links.reserve(corners);
    positions.reserve(count);
    // Corners at crowded positions, if positions serve corners evenly, with
    // room to spare.
    const int32_t crowded = lone.mark(mesh, edge, positions.items);
    const int64_t share = 2 * (int64_t)crowded * ((corners + count - 1) / count) + 64;
    gridKeys = share < corners ? (int32_t)share : corners;
    tracked = positions.items;
    return tracked;
}

int32_t Welder::matchAtPosition(const Mesh& mesh, const FaceCorner& corner, int32_t newest, bool withSecondSet) const {
    // Newest first: the last match along the chain is the first key.
    int32_t found = -1;
    for (int32_t number = newest; number >= 0; number = links.items[number] - 1) {
        const FaceCorner& key = weldCorner(mesh, unique.items[number]);
        // The same indices give the same key, which can match.
        if ((key.normal == corner.normal && key.tex[0] == corner.tex[0] &&
             (!withSecondSet || key.tex[1] == corner.tex[1])) ||
            restNear(mesh, key, corner, withSecondSet))
            found = number;
    }
    return found;
}

int32_t Welder::search(const Mesh& mesh, const FaceCorner& corner, int32_t c, bool withSecondSet, bool& added) {
    if (!gridReady) {
        grid.reset(mesh, gridKeys, twoSets, unique.items, edge);
        gridReady = true;
    }
    const WeldGrid::Location at = grid.locate(corner);
    const int32_t found = grid.find(corner, at);
    added = found < 0;
    if (found >= 0) {
        if (tracked) tracked[corner.vertex] = kCrowded - 1 - c;
        return found;
    }
    const int32_t number = unique.count++;
    unique.items[number] = c;
    grid.add(number, at);
    // Later corners with these indices match this new key, unless it matches
    // nothing at all.
    if (tracked && weldKeyCanMatch(makeWeldKey(mesh, corner, withSecondSet), withSecondSet))
        tracked[corner.vertex] = kCrowded - 1 - c;
    return number;
}
