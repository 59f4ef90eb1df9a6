#pragma once
#include <cstdint>
#include <cstring>

// The qrv pack, as the writer produces it and qrvinfo checks it. Every value
// is little-endian; there is no padding.
//
//   chunk:   magic, name, transform, texture set count, vertex records,
//            normal count and records, bounds, index count and indices,
//            subset count and subsets
//   subset:  first index (u16), triangle count (u16), texture slots
//   slot:    name, parameters
//   tail:    chunk offsets (u32 each), chunk count, end mark

const uint32_t kChunkMagic = 0xDEAFBABEu;
const uint32_t kEndMark = 0xDEADBEEFu;
const uint32_t kTailSize = 8;  // chunk count and end mark

// Written for every chunk: the engine places meshes itself.
constexpr float kIdentityTransform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Vertex records, one layout per texture set count; the position comes first
// in both. With one set the record carries the normal, with two a zero word
// and the second set.
const int32_t kVertexRecordSize = 32;
const int32_t kOneSetNormalAt = 12;
const int32_t kOneSetTextureAt = 24;
const int32_t kTwoSetZeroWordAt = 12;
const int32_t kTwoSetFirstTextureAt = 16;
const int32_t kTwoSetSecondTextureAt = 24;
const int32_t kNormalRecordSize = 12;

// Indices are 16-bit: a mesh holds at most this many triangles.
const uint32_t kMaxTriangles = 21845;
const uint32_t kMaxIndices = 3 * kMaxTriangles;

// Each subset names four textures: diffuse, lightmap and two always empty.
const int kTextureSlots = 4;
constexpr float kSlotParameters[4] = {0.0f, 0.0f, 1.0f, 1.0f};
const uint32_t kSubsetHeaderSize = 4;
const uint32_t kEmptySlotSize = 4 + 4 * 4;  // name length 0 and the parameters

// The bounds field: smallest and largest coordinates, each replaced only by a
// strictly smaller or larger value, so NaN never enters; an axis without any
// number keeps its starting extreme.
const uint32_t kBoundsMinBits = 0x7F7FFFFFu;
const uint32_t kBoundsMaxBits = 0xFF7FFFFFu;
const uint32_t kBoundsSize = 6 * 4;

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
    // The field as stored: minimum x, y, z, then maximum x, y, z.
    template <typename Writer>
    void write(Writer& out) const {
        for (int i = 0; i < 3; ++i) out.putF32(min[i]);
        for (int i = 0; i < 3; ++i) out.putF32(max[i]);
    }
};
