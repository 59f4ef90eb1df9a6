#pragma once
#include "platform/array.h"
#include "scene/scene.h"
#include "writer/weld_grid.h"

#include <cstdint>

// Welding: triangle corners whose data agree within a tolerance share one
// vertex record. Terms:
//   corner      a triangle corner, numbered in welding order (weldCorner).
//   key         a corner's data as read: position, normal, texture
//               coordinates (WeldKey).
//   match       every compared component of two keys within kWeldTolerance
//               (weldMatch). Not transitive; a key with an infinite or NaN
//               component matches nothing, not even itself.
//   unique key  a key that matches no earlier unique key, numbered in order
//               of first appearance; it stands for the corner it was first
//               seen at.
//   index       per corner, the number of the first unique key its key
//               matches: what a scan of the unique keys from the first finds.
//   slot        a stretch of one axis, a power of two wide, far wider than
//               the tolerance.
//   cell        a slot on each of six axes: position x, y, z and, where
//               positions are shared, normal x, y, z.
//   margin      the tolerance plus rounding slack: a key within the margin of
//               a cell's face may match keys in the cell across it.
//   chain       the keys of the cells whose hash picks it, newest first, each
//               tagged with its cell.
//   seen bits   two bits per hashed cell, set when a key is located there: a
//               key away from its cell's faces whose bits are not both set is
//               new without a search.
//   twin        an earlier corner with the same position, normal and texture
//               indices: it has the same key, and so the same index.
//   typical edge  the median edge of a sample of triangles; it sets the width
//               of position slots.
class Welder {
public:
    Welder() = default;

    // Welds every corner of the mesh. Afterwards unique holds, per unique
    // key, the corner it was first seen at, and indices the index of every
    // corner. Near-linear in the number of corners. False when memory ran
    // out.
    bool weld(const Mesh& mesh, bool twoSets);

    Array<int32_t> unique;
    Array<uint16_t> indices;

private:
    WeldGrid grid;
    // Per position index, where positions are shared: the last corner there
    // whose key can match, + 1; 0 for none.
    Array<int32_t> lastAtPosition;

    Welder(const Welder&) = delete;
    Welder& operator=(const Welder&) = delete;
};
