#pragma once
#include "platform/array.h"
#include "scene/scene.h"

#include <cstdint>

// Finds the positions of a mesh that no other position of it lies within the
// weld tolerance of. A corner at such a lone position can share a record only
// with corners at the same position index, so welding it needs no spatial
// search.
//
// Positions are placed in cells far wider than the tolerance. A position
// that is alone in its cell, and farther than the tolerance from the cell's
// faces, is lone: any position near it would lie in the same cell. One near
// a face is lone too where the cells across it hold no position. A bit per
// hashed cell tells which cells hold a position; cells that share a bit are
// told apart afterwards by a longer hash. Cells that share that too count as
// one, which makes positions crowded that may be lone: that costs speed,
// never a wrong answer. Positions far from the origin for the grid, and
// those not finite, are left to the spatial search too.
class LonePositions {
public:
    LonePositions() = default;

    // Sets marks[p] to 0 where position p is lone and to -1 where it may not
    // be, and returns about the number of the latter, at most all; or returns
    // -1 early, with marks unfinished, where most positions are not lone.
    // typicalEdge sets the width of the cells.
    int32_t mark(const Mesh& mesh, double typicalEdge, int32_t* marks);

private:
    // Settles the marks of the count positions in cells seen again, which
    // the first pass left 0 for the first and -1 for the others: crowded
    // only where they share their cell indeed. Returns how many are.
    int32_t settleRepeated(int32_t count, int bits, int32_t* marks);

    Array<uint32_t> codes;       // per position: its cell's hash and more
    Array<uint64_t> seen;        // a bit per hashed cell
    Array<uint32_t> duplicates;  // hashes of cells seen again
    Array<int32_t> nearFaces;    // positions near a face of their cell
    Array<uint64_t> repeated;    // a bit per hashed cell seen again
    Array<int32_t> candidates;   // positions in cells seen again
    Array<uint32_t> slots;       // per candidate: its line's slot
    Array<uint32_t> lines;       // open table of candidates' lines
    Array<int32_t> lineCounts;   // per slot: positions on that line

    LonePositions(const LonePositions&) = delete;
    LonePositions& operator=(const LonePositions&) = delete;
};
