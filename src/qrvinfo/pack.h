#pragma once
#include "platform/array.h"
#include "qrv/format.h"

#include <cstdint>
#include <cstring>

// What the loader found in a valid pack. Records point into the file's bytes
// by offset; nothing is copied out of them.

// A name field: where its bytes start and its length field, which counts the
// terminating zero (0 for an empty name, whose bytes are absent).
struct NameRef {
    uint32_t offset;
    uint32_t length;
};

struct SubsetInfo {
    uint32_t firstIndex;
    uint32_t triangleCount;
    NameRef texture;   // slot 0, diffuse
    NameRef lightmap;  // slot 1
};

struct MeshInfo {
    uint32_t offset;  // chunk start
    uint32_t size;    // chunk bytes
    NameRef name;
    uint32_t textureSets;
    uint32_t vertexCount;
    uint32_t vertexOffset;  // first vertex record
    uint32_t normalCount;
    uint32_t normalOffset;  // first normal record
    float boundsMin[3];
    float boundsMax[3];
    uint32_t indexCount;
    uint32_t indexOffset;  // first 16-bit index
    uint32_t subsetCount;
    uint32_t firstSubset;  // into Pack::subsets
};

// The file's bytes (owned by the caller, kept alive while the Pack is used)
// and one record per mesh chunk and per subset, in file order.
struct Pack {
    const unsigned char* bytes = nullptr;
    uint32_t size = 0;
    Array<MeshInfo> meshes;
    Array<SubsetInfo> subsets;
};

inline uint32_t loadU32(const unsigned char* at) {
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}
inline uint16_t loadU16(const unsigned char* at) { return (uint16_t)(at[0] | at[1] << 8); }
inline float loadF32(const unsigned char* at) {
    uint32_t bits = loadU32(at);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Vertex i's position, and its normal from wherever the pack keeps it: inside
// the record with one texture set, in the normal records with two.
inline void vertexPosition(const Pack& pack, const MeshInfo& mesh, uint32_t i, float out[3]) {
    const unsigned char* record = pack.bytes + mesh.vertexOffset + kVertexRecordSize * i;
    for (int k = 0; k < 3; ++k) out[k] = loadF32(record + 4 * k);
}
inline void vertexNormal(const Pack& pack, const MeshInfo& mesh, uint32_t i, float out[3]) {
    const unsigned char* at =
        mesh.textureSets == 1 ? pack.bytes + mesh.vertexOffset + kVertexRecordSize * i + kOneSetNormalAt
                              : pack.bytes + mesh.normalOffset + kNormalRecordSize * i;
    for (int k = 0; k < 3; ++k) out[k] = loadF32(at + 4 * k);
}
// The first texture set's (u, v) as stored.
inline void vertexTexture(const Pack& pack, const MeshInfo& mesh, uint32_t i, float out[2]) {
    const unsigned char* record = pack.bytes + mesh.vertexOffset + kVertexRecordSize * i;
    const int at = mesh.textureSets == 1 ? kOneSetTextureAt : kTwoSetFirstTextureAt;
    out[0] = loadF32(record + at);
    out[1] = loadF32(record + at + 4);
}
inline uint16_t packIndex(const Pack& pack, const MeshInfo& mesh, uint32_t i) {
    return loadU16(pack.bytes + mesh.indexOffset + 2 * i);
}
