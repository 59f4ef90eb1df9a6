#pragma once
#include "scene/scene.h"

#include <cmath>

// The angle between two vectors in degrees, in double precision.
inline double degreesBetween(const Vec3& a, const Vec3& b) {
    const double x = (double)a.y * b.z - (double)a.z * b.y, y = (double)a.z * b.x - (double)a.x * b.z,
                 z = (double)a.x * b.y - (double)a.y * b.x,
                 d = (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z;
    return std::atan2(std::sqrt(x * x + y * y + z * z), d) * 180 / std::acos(-1.0);
}

inline bool same(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
