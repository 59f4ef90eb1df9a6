#include "writer/weld.h"

#include <algorithm>
#include <cstring>

namespace {

// Cells 2^-7 wide: hundreds of tolerances, so that few keys lie within one of
// a face, yet narrow enough that distinct positions and normals seldom share
// one.
const double kCellsPerUnit = 128.0;

// Wider than the tolerance by more than the rounding of a difference.
const double kMargin = 2.0 * (double)kWeldTolerance;

// The cell of a coordinate on its axis. Scaling, truncation and the clamp to
// the outermost cells all keep order, so every value between two others lies
// in a cell between theirs. Half a cell on, round values lie mid-cell, away
// from its faces. NaN takes the lowest cell.
int64_t cellOf(double x) {
    const double kOutermost = 1e18;
    x = x * kCellsPerUnit + 0.5;
    return (int64_t)std::min(std::max(-kOutermost, x), kOutermost);
}

// A cell's line is the sum of its six cell numbers, each times its axis's
// weight; its bucket is the top bits of the mixed line.
const uint64_t kAxisWeights[6] = {1, 0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full,
                                  0x165667B19E3779F9ull, 0xD6E8FEB86659FD93ull, 0xFF51AFD7ED558CCDull};
const uint64_t kMix = 0xBF58476D1CE4E5B9ull;

void axesOf(const WeldKey& key, double axes[6]) {
    axes[0] = key.position.x, axes[1] = key.position.y, axes[2] = key.position.z;
    axes[3] = key.normal.x, axes[4] = key.normal.y, axes[5] = key.normal.z;
}

// Corner c in welding order.
const FaceCorner& cornerAt(const Mesh& mesh, int32_t c) { return mesh.faces.items[c / 3].corners[2 - c % 3]; }

bool sameIndices(const FaceCorner& a, const FaceCorner& b, bool twoSets) {
    return a.normal == b.normal && a.tex[0] == b.tex[0] && (!twoSets || a.tex[1] == b.tex[1]);
}

}  // namespace

bool Welder::weld(const Mesh& mesh, bool twoSets) {
    const int32_t corners = 3 * mesh.faces.count;
    // Twice as many buckets as corners keep them short.
    int32_t buckets = 16;
    bucketShift = 60;
    while (buckets < 2 * corners) buckets *= 2, --bucketShift;
    if (!unique.tryReserve(corners) || !next.tryReserve(corners) || !indices.tryReserve(corners) ||
        !heads.tryReserve(buckets) || !twins.tryReserve(mesh.vertices.count))
        return false;
    std::memset(heads.items, 0, (size_t)buckets * sizeof(int32_t));
    for (int32_t v = 0; v < mesh.vertices.count; ++v) twins.items[v] = 0;  // not memset: no storage without vertices
    unique.count = 0;
    indices.count = corners;

    for (int32_t c = 0; c < corners; ++c) {
        const FaceCorner& corner = cornerAt(mesh, c);
        int32_t& twin = twins.items[corner.vertex];
        if (twin != 0 && sameIndices(cornerAt(mesh, twin - 1), corner, twoSets)) {
            indices.items[c] = indices.items[twin - 1];
            continue;
        }
        const WeldKey key = makeWeldKey(mesh, corner, twoSets);
        int32_t number = find(key, twoSets);
        if (number < 0) {
            number = unique.count++;
            unique.items[number] = key;
            // A key that does not match itself matches nothing: no use filing
            // it, nor passing its number on.
            if (!weldMatch(key, key, twoSets)) {
                indices.items[c] = (uint16_t)number;
                continue;
            }
            file(number);
        }
        indices.items[c] = (uint16_t)number;
        twin = c + 1;
    }
    return true;
}

int32_t Welder::find(const WeldKey& key, bool twoSets) const {
    double axes[6];
    axesOf(key, axes);
    // A matching key's cell lies, on each axis, between those of the key's
    // value less and plus the margin: one cell, or two neighbours.
    uint64_t line = 0, steps[6];
    int straddled = 0;
    for (int a = 0; a < 6; ++a) {
        const int64_t low = cellOf(axes[a] - kMargin);
        line += (uint64_t)low * kAxisWeights[a];
        if (cellOf(axes[a] + kMargin) != low) steps[straddled++] = kAxisWeights[a];
    }
    int32_t best = INT32_MAX;
    for (int m = 0; m < (1 << straddled); ++m) {
        uint64_t cell = line;
        for (int i = 0; i < straddled; ++i)
            if (m & (1 << i)) cell += steps[i];
        // A bucket may hold keys of other cells too: every key is compared.
        for (int32_t link = heads.items[(cell * kMix) >> bucketShift]; link != 0; link = next.items[link - 1])
            if (link - 1 < best && weldMatch(unique.items[link - 1], key, twoSets)) best = link - 1;
    }
    return best == INT32_MAX ? -1 : best;
}

void Welder::file(int32_t number) {
    double axes[6];
    axesOf(unique.items[number], axes);
    uint64_t line = 0;
    for (int a = 0; a < 6; ++a) line += (uint64_t)cellOf(axes[a]) * kAxisWeights[a];
    int32_t& head = heads.items[(line * kMix) >> bucketShift];
    next.items[number] = head;
    head = number + 1;
}
