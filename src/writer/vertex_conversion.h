#pragma once
#include "scene/scene.h"
#include "writer/buffered_writer.h"

#include <cstdint>
#include <cstring>

// The engine's conventions: position (x, z, -y), normal (x, z, y), texture
// (u, 1 - v); the first vertex of the bounds keeps the starting extremes.
const uint32_t kBoundsMinBits = 0x7F7FFFFFu;
const uint32_t kBoundsMaxBits = 0xFF7FFFFFu;
const int32_t kVertexRecordSize = 32;

struct Bounds {
    float min[3];
    float max[3];

    Bounds() {
        float low, high;
        std::memcpy(&low, &kBoundsMinBits, 4);
        std::memcpy(&high, &kBoundsMaxBits, 4);
        for (int i = 0; i < 3; ++i) {
            min[i] = low;
            max[i] = high;
        }
    }
    void add(const float p[3]) {
        for (int i = 0; i < 3; ++i) {
            if (p[i] < min[i]) min[i] = p[i];
            if (p[i] > max[i]) max[i] = p[i];
        }
    }
    void write(BufferedWriter& out) const {
        for (int i = 0; i < 3; ++i) out.putF32(min[i]);
        for (int i = 0; i < 3; ++i) out.putF32(max[i]);
    }
};

inline void convertPosition(const Vec3& p, float out[3]) {
    out[0] = p.x;
    out[1] = p.z;
    out[2] = -p.y;
}

inline void convertNormal(const Vec3& n, float out[3]) {
    out[0] = n.x;
    out[1] = n.z;
    out[2] = n.y;
}

// A 32-byte vertex record: position, then the normal (one texture set) or a
// zero word and the second set's coordinates (two sets).
inline void storeVertexRecord(unsigned char* at, const float position[3], const float normal[3],
                              const TexVertex& first, const TexVertex* second) {
    storeF32(at + 0, position[0]);
    storeF32(at + 4, position[1]);
    storeF32(at + 8, position[2]);
    if (second) {
        storeU32(at + 12, 0);
        storeF32(at + 16, first.u);
        storeF32(at + 20, 1.0f - first.v);
        storeF32(at + 24, second->u);
        storeF32(at + 28, 1.0f - second->v);
    } else {
        storeF32(at + 12, normal[0]);
        storeF32(at + 16, normal[1]);
        storeF32(at + 20, normal[2]);
        storeF32(at + 24, first.u);
        storeF32(at + 28, 1.0f - first.v);
    }
}
