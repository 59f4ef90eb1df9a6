#pragma once
#include "platform/array.h"
#include "writer/weld_key.h"

#include <cstdint>
#include <cstring>

// Finds the first earlier key that a key matches without comparing it with
// every earlier key. Keys are hashed by cell: on each of six axes, position
// and normal, a coordinate falls into a slot whose width is a power of two
// far above the tolerance, placed so that round values sit mid-slot. A key
// can only match keys in its own cell and, along each axis where it lies
// within the tolerance (plus rounding slack) of a slot boundary, in the
// neighbours across those boundaries. Those cells' chains are searched
// whole, and the smallest matching number is the key that a scan of all
// earlier keys from the first on would find. Where positions are shared the
// normal axes are cut as well, so that corners that share a position but not
// a normal (hard edges) do not meet; where they are not, that would cost
// more than it saves.
//
// Two bits per hashed cell, in one word, record which cells have been seen:
// one picked by the cell's place on a line, so that neighbouring corners
// tend to share words, and one by its hash, which keeps false alarms (each
// a search and a mispredicted branch) rare where many cells share a word. A
// key far from its cell's faces whose bits are not both set has nothing to
// compare with: such a key costs a word and a chain link, in tables small
// enough for the cache.
//
// A key with a compared component that is not finite never matches anything
// (the difference is infinite or NaN); it joins a chain only as the first of
// its cell, so such keys cannot pile up. Coordinates of magnitude 2^23 and
// above are whole numbers 1 apart or more: they match only equal values and
// take their cell from their bits.
//
// Keys are numbered in the order they are added and stand for the corner
// (numbered in welding order) they were first seen at. Storage is kept from
// reset to reset.
class WeldGrid {
public:
    WeldGrid() = default;

    // Empties the grid for up to capacity keys of the mesh; its typical edge
    // sets the width of position slots. keyCorners, filled by the caller,
    // gives the corner of each key number. False when memory ran out.
    bool reset(const Mesh& mesh, int32_t capacity, bool twoSets, const int32_t* keyCorners);

    // A corner's cell, and whether it lies within the margin of one of the
    // cell's faces.
    struct Location {
        uint64_t hash;
        uint32_t seenBit;  // index of the cell's first bit in seen
        bool nearFace;
    };

    Location locate(const FaceCorner& corner) const {
        uint64_t line;
        bool nearFace;
        if (placeAxes(mesh->vertices.items[corner.vertex], positionSlots, kPositionWeights, line, nearFace)) {
            if (!withNormals) return Location{line * kMix, (uint32_t)line & seenMask, nearFace};
            uint64_t normalLine;
            bool normalNear;
            if (placeAxes(mesh->normals.items[corner.normal], normalSlots, kNormalWeights, normalLine,
                          normalNear)) {
                line += normalLine;
                return Location{line * kMix, (uint32_t)line & seenMask, nearFace || normalNear};
            }
        }
        // A whole-number coordinate somewhere.
        int64_t cells[kAxes];
        int side[kAxes];
        cellsOf(corner, cells, side);
        line = cellLine(cells);
        return Location{line * kMix, (uint32_t)line & seenMask,
                        (side[0] | side[1] | side[2] | side[3] | side[4] | side[5]) != 0};
    }

    // The number of the first key that the located corner's key matches, or
    // -1 when there is none; then the caller adds the key under the number it
    // gets. A corner whose key has matched may pass the result on to corners
    // with the same key; a key that matches nothing does not even match itself.
    int32_t find(const FaceCorner& corner, Location at) {
        uint64_t& word = seen.items[at.seenBit >> 6];
        const uint64_t bit = ((uint64_t)1 << (at.seenBit & 63)) | ((uint64_t)1 << (at.hash >> 58));
        bool seenBefore = (word & bit) == bit;
        word |= bit;
        if (!at.nearFace) {
            // Where the bits were set by other cells, the chain has no key of
            // this cell's tag: known without building the key.
            if (seenBefore) {
                const uint32_t tag = tagOf(at.hash);
                int32_t link = heads.items[at.hash >> headShift];
                while (link != 0 && links.items[link - 1].tag != tag) link = links.items[link - 1].next;
                seenBefore = link != 0;
            }
            if (!seenBefore) {
                searched = false;
                return -1;
            }
        }
        return search(corner, at);
    }

    // Adds the key of the corner last looked up with find as number.
    void add(int32_t number, Location at) {
        // A key that never matches gets no company in a chain.
        if (searched && !keySearchable) return;
        int32_t& head = heads.items[at.hash >> headShift];
        links.items[number] = Link{head, tagOf(at.hash)};
        head = number + 1;
    }

private:
    // Coordinates below 2^23 in magnitude are placed in fixed point with
    // kFraction bits per slot: scaling by a power of two is exact, and the
    // truncation that follows errs by less than a unit, which the margin
    // allows for. Half a slot is added so that round values sit mid-slot,
    // and a bias keeps the value positive. Their slot numbers lie within
    // 2^39 +- 2^35; coordinates from 2^23 on (and those not finite) take
    // theirs from their bits, from 2^40 on.
    static const int kFraction = 23;
    static constexpr int64_t kBias = ((int64_t)1 << 62) + ((int64_t)1 << (kFraction - 1));
    static const uint32_t kWholeNumberBits = 0x4B000000u;  // 2^23
    static constexpr int64_t kWholeNumberCells = (int64_t)1 << 40;
    static const uint64_t kMix = 0xBF58476D1CE4E5B9ull;

    // Position x, y, z, then normal x, y, z.
    static const int kAxes = 6;

    // How one axis is cut into slots.
    struct Slots {
        float scale;           // 2^kFraction / slot width
        uint32_t marginUnits;  // the margin in fixed-point units
    };

    // The slot of a coordinate; side is -1 / +1 when it lies within the
    // margin of the lower / upper boundary, 0 otherwise.
    static int64_t slotOf(float x, Slots slots, int& side) {
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        side = 0;
        if ((bits & 0x7FFFFFFFu) >= kWholeNumberBits) return kWholeNumberCells + bits;
        const int64_t fixed = (int64_t)(x * slots.scale) + kBias;
        const uint32_t within = (uint32_t)fixed & ((1u << kFraction) - 1);
        side = (int)(within >= (1u << kFraction) - slots.marginUnits) - (int)(within < slots.marginUnits);
        return fixed >> kFraction;
    }

    void cellsOf(const FaceCorner& corner, int64_t cells[kAxes], int side[kAxes]) const {
        const Vec3& p = mesh->vertices.items[corner.vertex];
        cells[0] = slotOf(p.x, positionSlots, side[0]);
        cells[1] = slotOf(p.y, positionSlots, side[1]);
        cells[2] = slotOf(p.z, positionSlots, side[2]);
        if (withNormals) {
            const Vec3& n = mesh->normals.items[corner.normal];
            cells[3] = slotOf(n.x, normalSlots, side[3]);
            cells[4] = slotOf(n.y, normalSlots, side[4]);
            cells[5] = slotOf(n.z, normalSlots, side[5]);
        } else {
            cells[3] = cells[4] = cells[5] = 0;
            side[3] = side[4] = side[5] = 0;
        }
    }

    // What slotOf and cellLine give for three axes of a vector, with each
    // axis's weight in the line, when all three lie below 2^23 in magnitude;
    // false otherwise. nearFace tells whether any of them lies within the
    // margin of a boundary. The common case of locate, without branches per axis.
    static bool placeAxes(const Vec3& v, Slots slots, const uint64_t weights[3], uint64_t& line, bool& nearFace) {
        uint32_t bits[3];
        std::memcpy(&bits[0], &v.x, 4);
        std::memcpy(&bits[1], &v.y, 4);
        std::memcpy(&bits[2], &v.z, 4);
        if (!(((bits[0] & 0x7FFFFFFFu) < kWholeNumberBits) & ((bits[1] & 0x7FFFFFFFu) < kWholeNumberBits) &
              ((bits[2] & 0x7FFFFFFFu) < kWholeNumberBits)))
            return false;
        const int64_t x = (int64_t)(v.x * slots.scale) + kBias;
        const int64_t y = (int64_t)(v.y * slots.scale) + kBias;
        const int64_t z = (int64_t)(v.z * slots.scale) + kBias;
        // Within the margin of either boundary exactly when the margin added
        // wraps the position within the slot below twice the margin.
        const uint32_t mask = (1u << kFraction) - 1, margin = slots.marginUnits;
        nearFace = ((((uint32_t)x + margin) & mask) < 2 * margin) | ((((uint32_t)y + margin) & mask) < 2 * margin) |
                   ((((uint32_t)z + margin) & mask) < 2 * margin);
        line = (uint64_t)(x >> kFraction) * weights[0] + (uint64_t)(y >> kFraction) * weights[1] +
               (uint64_t)(z >> kFraction) * weights[2];
        return true;
    }

    // A cell's number on a line: neighbours along position x are next to
    // each other, so that the seen bits of neighbouring corners tend to
    // share words. Mixed, it is the cell's hash, whose top bits pick the
    // chain and the second seen bit, and whose middle bits tag the cell.
    static uint64_t cellLine(const int64_t cells[kAxes]) {
        uint64_t line = 0;
        for (int a = 0; a < 3; ++a)
            line += (uint64_t)cells[a] * kPositionWeights[a] + (uint64_t)cells[a + 3] * kNormalWeights[a];
        return line;
    }
    static constexpr uint64_t kPositionWeights[3] = {1, 0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full};
    static constexpr uint64_t kNormalWeights[3] = {0x165667B19E3779F9ull, 0xD6E8FEB86659FD93ull, 0xFF51AFD7ED558CCDull};
    static uint32_t tagOf(uint64_t hash) { return (uint32_t)(hash >> 8); }

    // A key's place in its chain: the next older number + 1 (0 at the end)
    // and its cell's tag.
    struct Link {
        int32_t next;
        uint32_t tag;
    };

    // The key of the corner being looked up, built when first needed.
    struct Probe {
        const FaceCorner* corner;
        WeldKey key;
        bool built;
    };

    static Slots slotsOf(double width);

    // find when there may be something to compare with.
    int32_t search(const FaceCorner& corner, Location at);

    // Newest first along the chain of a cell, which may hold keys of other
    // cells too; the smallest matching number below best wins.
    int32_t scan(uint64_t hash, Probe& probe, int32_t best);

    const Mesh* mesh = nullptr;
    const int32_t* keyCorners = nullptr;
    bool twoSets = false;
    Slots positionSlots = {0, 0};
    Slots normalSlots = {0, 0};
    bool withNormals = false;  // whether cells cut the normal axes too
    Array<uint64_t> seen;      // a bit per hashed cell
    uint32_t seenMask = 0;     // bits in seen - 1
    Array<int32_t> heads;      // per chain: the newest key number + 1, 0 for none
    int headShift = 64;        // from a hash to its chain
    Array<Link> links;         // per key number
    bool searched = false;
    bool keySearchable = false;

    WeldGrid(const WeldGrid&) = delete;
    WeldGrid& operator=(const WeldGrid&) = delete;
};
