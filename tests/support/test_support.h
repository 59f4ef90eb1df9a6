#pragma once
#include "platform/log.h"
#include "platform/services.h"
#include "scene/scene.h"
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

// Starts the services once for the whole test binary.
inline void ensureServices() { [[maybe_unused]] static const bool started = (startServices(), true); }
inline void resetLog() {  // clears the Log between tests
    ensureServices();
    gLog->discard();
}
inline std::string logText() {  // the Log's complete lines, each ending in '\n'
    std::string text;
    for (int i = 0; i < gLog->lineTotal(); ++i) text.append(gLog->line(i), std::strcspn(gLog->line(i), "\n") + 1);
    return text;
}

struct Rng {  // splitmix64, seeded, so that randomised tests repeat exactly
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return (uint32_t)(next() % n); }
    char pick(const char* set, size_t n) { return set[below((uint32_t)n)]; }
};

// The angle between two vectors in degrees, in double precision.
inline double degreesBetween(const Vec3& a, const Vec3& b) {
    const double x = (double)a.y * b.z - (double)a.z * b.y, y = (double)a.z * b.x - (double)a.x * b.z,
                 z = (double)a.x * b.y - (double)a.y * b.x,
                 d = (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z;
    return std::atan2(std::sqrt(x * x + y * y + z * z), d) * 180 / std::acos(-1.0);
}
inline bool same(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
