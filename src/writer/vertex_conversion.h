#pragma once
#include "qrv/format.h"
#include "scene/scene.h"
#include "writer/buffered_writer.h"

#include <cstdint>

// The engine's conventions: position (x, z, -y), normal (x, z, y), texture
// (u, 1 - v).
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

// A normal as stored, in a normal record or a one-set vertex record.
inline void storeNormal(unsigned char* at, const float normal[3]) {
    storeF32(at + 0, normal[0]);
    storeF32(at + 4, normal[1]);
    storeF32(at + 8, normal[2]);
}

// A vertex record: position, then the normal (one texture set) or a zero
// word and the second set's coordinates (two sets).
inline void storeVertexRecord(unsigned char* at, const float position[3], const float normal[3],
                              const TexVertex& first, const TexVertex* second) {
    storeF32(at + 0, position[0]);
    storeF32(at + 4, position[1]);
    storeF32(at + 8, position[2]);
    if (second) {
        storeU32(at + kTwoSetZeroWordAt, 0);
        storeF32(at + kTwoSetFirstTextureAt, first.u);
        storeF32(at + kTwoSetFirstTextureAt + 4, 1.0f - first.v);
        storeF32(at + kTwoSetSecondTextureAt, second->u);
        storeF32(at + kTwoSetSecondTextureAt + 4, 1.0f - second->v);
    } else {
        storeNormal(at + kOneSetNormalAt, normal);
        storeF32(at + kOneSetTextureAt, first.u);
        storeF32(at + kOneSetTextureAt + 4, 1.0f - first.v);
    }
}
