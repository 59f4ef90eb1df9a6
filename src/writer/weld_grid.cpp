#include "writer/weld_grid.h"

#include <algorithm>
#include <cmath>

namespace {

// Widths of position slots: at least this, so that few positions lie within
// the margin of a boundary; at most this, as wider ones gain nothing.
const double kNarrowestSlot = 1.0 / 4096.0;
const double kWidestSlot = 65536.0;

// From 2^23 on a float's neighbours are 1 apart or more.
const float kWholeNumbers = 8388608.0f;

// The width of a normal's slots.
const double kNormalSlot = 1.0 / 256.0;

// Triangles looked at to find the typical edge: 64 tell the slot width as
// well as more, at fewer scattered reads.
const int32_t kEdgeSample = 64;

// The median edge of a sample of triangles, each edge measured on its longest
// axis; 0 when nothing could be measured.
double typicalEdge(const Mesh& mesh) {
    float edges[3 * kEdgeSample];
    int32_t count = 0;
    const int32_t triangles = mesh.faces.count;
    const int32_t stride = triangles > kEdgeSample ? triangles / kEdgeSample : 1;
    for (int32_t t = 0; t < triangles && count + 3 <= 3 * kEdgeSample; t += stride) {
        const FaceCorner* c = mesh.faces.items[t].corners;
        for (int e = 0; e < 3; ++e) {
            const Vec3& a = mesh.vertices.items[c[e].vertex];
            const Vec3& b = mesh.vertices.items[c[(e + 1) % 3].vertex];
            const float d[3] = {std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)};
            const float length = std::max(d[0], std::max(d[1], d[2]));
            // Not finite, or beyond the reach of the cell arithmetic.
            if (length < kWholeNumbers) edges[count++] = length;
        }
    }
    if (count == 0) return 0;
    std::nth_element(edges, edges + count / 2, edges + count);
    return edges[count / 2];
}

}  // namespace

bool WeldGrid::reset(const Mesh& source, int32_t capacity, bool withSecondSet, const int32_t* corners) {
    mesh = &source;
    twoSets = withSecondSet;
    keyCorners = corners;

    // Positions in slots a sixteenth of the typical edge wide: distinct
    // positions rarely share one. Normals, commonly of unit length, in
    // slots of 2^-8.
    const double typical = typicalEdge(source);
    double width = kNarrowestSlot;
    while (width < typical / 16 && width < kWidestSlot) width *= 2;
    positionSlots = slotsOf(width);
    normalSlots = slotsOf(kNormalSlot);
    withNormals = 2 * source.vertices.count <= capacity;

    // Sixteen seen bits per key keep false alarms rare, a chain per two keys
    // keeps chains short, and both tables stay small.
    int32_t words = 16;
    while (words * 4 < capacity) words *= 2;
    seenMask = (uint32_t)words * 64 - 1;
    if (!seen.tryReserve(words)) return false;
    std::memset(seen.items, 0, (size_t)words * sizeof(uint64_t));
    int32_t chains = 16;
    headShift = 60;
    while (chains * 2 < capacity) chains *= 2, --headShift;
    if (!heads.tryReserve(chains)) return false;
    std::memset(heads.items, 0, (size_t)chains * sizeof(int32_t));
    return links.tryReserve(capacity);
}

WeldGrid::Slots WeldGrid::slotsOf(double width) {
    const float scale = (float)((double)(1 << kFraction) / width);
    // Near passes differences up to the tolerance after rounding to double,
    // so a touch more before, and a unit each for the truncations.
    return Slots{scale, (uint32_t)std::ceil(((double)kWeldTolerance + 1.0 / 1048576.0) * scale) + 2};
}

int32_t WeldGrid::search(const FaceCorner& corner, Location at) {
    searched = true;
    keySearchable = true;  // until the key, once built, tells otherwise
    Probe probe;
    probe.corner = &corner;
    probe.built = false;
    int32_t best = scan(at.hash, probe, INT32_MAX);
    if (at.nearFace) {
        int64_t cells[kAxes];
        int side[kAxes];
        cellsOf(corner, cells, side);
        int axes[kAxes];
        int count = 0;
        for (int a = 0; a < kAxes; ++a)
            if (side[a] != 0) axes[count++] = a;
        // Every combination of steps across the boundaries the key is near,
        // but not none.
        for (int m = 1; m < (1 << count); ++m) {
            int64_t neighbour[kAxes];
            for (int a = 0; a < kAxes; ++a) neighbour[a] = cells[a];
            for (int i = 0; i < count; ++i)
                if (m & (1 << i)) neighbour[axes[i]] += side[axes[i]];
            best = scan(cellLine(neighbour) * kMix, probe, best);
        }
    }
    return best == INT32_MAX ? -1 : best;
}

int32_t WeldGrid::scan(uint64_t hash, Probe& probe, int32_t best) {
    const uint32_t tag = tagOf(hash);
    for (int32_t link = heads.items[hash >> headShift]; link != 0;) {
        const int32_t number = link - 1;
        const Link& entry = links.items[number];
        link = entry.next;
        // Keys of other cells in the chain are passed by their tags.
        if (entry.tag != tag || number >= best) continue;
        if (!probe.built) {
            probe.key = makeWeldKey(*mesh, *probe.corner, twoSets);
            probe.built = true;
            keySearchable = weldKeyCanMatch(probe.key, twoSets);
        }
        if (!keySearchable) break;
        if (weldMatch(makeWeldKey(*mesh, weldCorner(*mesh, keyCorners[number]), twoSets), probe.key, twoSets))
            best = number;
    }
    return best;
}
