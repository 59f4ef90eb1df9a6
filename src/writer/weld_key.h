#pragma once
#include "scene/near.h"
#include "scene/scene.h"

#include <cstdint>
#include <cstring>

// A corner's data as read, before conversion: position, normal, first and
// (with two texture sets) second texture coordinates; zeros otherwise.
struct WeldKey {
    float position[3];
    float normal[3];
    float tex[4];
};

// Largest difference per component for two corners to share a record:
// 1e-5 as a float (bits 0x3727C5AC).
const float kWeldTolerance = 1e-5f;

// Corner c in welding order: triangles in order, within each the third,
// second, first corner.
inline const FaceCorner& weldCorner(const Mesh& mesh, int32_t c) {
    return mesh.faces.items[c / 3].corners[2 - c % 3];
}

inline WeldKey makeWeldKey(const Mesh& mesh, const FaceCorner& corner, bool twoSets) {
    const Vec3& p = mesh.vertices[corner.vertex];
    const Vec3& n = mesh.normals[corner.normal];
    const TexVertex& t = mesh.mapChannels[0][corner.tex[0]];
    const TexVertex s = twoSets ? mesh.mapChannels[1][corner.tex[1]] : TexVertex{0.0f, 0.0f};
    return WeldKey{{p.x, p.y, p.z}, {n.x, n.y, n.z}, {t.u, t.v, s.u, s.v}};
}

// True when b may share a's record: positions, normals, first set, and the
// second set only with two texture sets, each within the tolerance.
inline bool weldMatch(const WeldKey& a, const WeldKey& b, bool twoSets) {
    return withinTolerance(a.position, b.position, 3, kWeldTolerance) &&
           withinTolerance(a.normal, b.normal, 3, kWeldTolerance) &&
           withinTolerance(a.tex, b.tex, 2, kWeldTolerance) &&
           (!twoSets || withinTolerance(a.tex + 2, b.tex + 2, 2, kWeldTolerance));
}

// False when a compared component of the key is infinite or NaN: such a key
// matches nothing, not even itself. Two floats at a time: an all-ones
// exponent carries into its lane's top bit.
inline bool weldKeyCanMatch(const WeldKey& key, bool twoSets) {
    const uint64_t exponents = 0x7F8000007F800000ull, one = 0x0080000000800000ull;
    uint64_t w[5];
    std::memcpy(w, &key, sizeof w);
    uint64_t carry = ((w[0] & exponents) + one) | ((w[1] & exponents) + one) |
                     ((w[2] & exponents) + one) | ((w[3] & exponents) + one);
    if (twoSets) carry |= (w[4] & exponents) + one;
    return (carry & 0x8000000080000000ull) == 0;
}
