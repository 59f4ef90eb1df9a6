#pragma once
#include "platform/array.h"
#include "scene/near.h"
#include "scene/scene.h"

#include <cstdint>

// Welding: triangle corners whose data agree within a tolerance share one
// vertex record. Terms:
//   corner      a triangle corner, in welding order: triangles in order,
//               within each the third, second, first corner.
//   key         a corner's data as read, before conversion (WeldKey).
//   match       every compared component of two keys within kWeldTolerance
//               (weldMatch). Not transitive; a key with an infinite or NaN
//               component matches nothing, not even itself.
//   unique key  a key that matches no earlier unique key, numbered in order
//               of first appearance; the record written for it is its own.
//   index       per corner, the number of the first unique key its key
//               matches: what a scan of the unique keys from the first finds.
//   twin        an earlier corner with the same position, normal and texture
//               indices: the same key, and so the same index.
//   cell        a slot, 2^-7 wide, on each of six axes: position x, y, z
//               and normal x, y, z. Keys that match lie in the same or
//               neighbouring cells, so only those are searched.
//   bucket      where the keys of the cells whose hash picks it are filed.

// Position, normal, first texture coordinates, and the second with two
// texture sets (zeros otherwise).
struct WeldKey {
    Vec3 position;
    Vec3 normal;
    TexVertex first;
    TexVertex second;
};

// Largest difference per component for two corners to share a record:
// 1e-5 as a float (bits 0x3727C5AC).
const float kWeldTolerance = 1e-5f;

inline WeldKey makeWeldKey(const Mesh& mesh, const FaceCorner& corner, bool twoSets) {
    return WeldKey{mesh.vertices.items[corner.vertex], mesh.normals.items[corner.normal],
                   mesh.mapChannels[0].items[corner.tex[0]],
                   twoSets ? mesh.mapChannels[1].items[corner.tex[1]] : TexVertex{0.0f, 0.0f}};
}

// True when b may share a's record: positions first, then normals, the first
// set, and the second set only with two texture sets.
inline bool weldMatch(const WeldKey& a, const WeldKey& b, bool twoSets) {
    return withinTolerance(&a.position.x, &b.position.x, 3, kWeldTolerance) &&
           withinTolerance(&a.normal.x, &b.normal.x, 3, kWeldTolerance) &&
           withinTolerance(&a.first.u, &b.first.u, 2, kWeldTolerance) &&
           (!twoSets || withinTolerance(&a.second.u, &b.second.u, 2, kWeldTolerance));
}

class Welder {
public:
    Welder() = default;

    // Welds every corner of the mesh into unique and indices. Storage is kept
    // from mesh to mesh. False when memory ran out.
    bool weld(const Mesh& mesh, bool twoSets);

    Array<WeldKey> unique;
    Array<uint16_t> indices;

private:
    // The first unique key the key matches, or -1.
    int32_t find(const WeldKey& key, bool twoSets) const;
    void file(int32_t number);

    Array<int32_t> heads;  // per bucket of cells: the newest unique key in it + 1, 0 for none
    Array<int32_t> next;   // per unique key: the next older one in its bucket + 1
    int bucketShift = 64;
    Array<int32_t> twins;  // per position index: the last corner there whose number can be passed on + 1

    Welder(const Welder&) = delete;
    Welder& operator=(const Welder&) = delete;
};
