#pragma once
// Packs spelled out field by field, little-endian, for expectations worked out by hand; marks name field
// offsets for corrupting them.
#include "qrvinfo/pack_loader.h"
#include "support/memory_streams.h"
#include "writer/qrv_writer.h"

#include <map>
#include <string>

struct PackBytes {
    std::string data;
    std::map<std::string, uint32_t> marks;
    PackBytes& mark(const std::string& name) { return marks[name] = (uint32_t)data.size(), *this; }
    PackBytes& u16(uint16_t v) { return data.append({(char)v, (char)(v >> 8)}), *this; }
    PackBytes& u32(uint32_t v) { return u16((uint16_t)v).u16((uint16_t)(v >> 16)); }
    PackBytes& f32(float f) { uint32_t bits; std::memcpy(&bits, &f, 4); return u32(bits); }
    PackBytes& fs(const float* v, int n) { for (int i = 0; i < n; ++i) f32(v[i]); return *this; }
    PackBytes& name(const char* text) {  // null: no name, length 0
        const size_t n = text ? std::strlen(text) + 1 : 0;
        return u32((uint32_t)n), data.append(text ? text : "", n), *this;
    }
    PackBytes& slot(const char* text) { return name(text).f32(0).f32(0).f32(1).f32(1); }
    PackBytes& tail(const std::vector<uint32_t>& offsets) {
        mark("table");
        for (uint32_t offset : offsets) u32(offset);
        return mark("chunk count").u32((uint32_t)offsets.size()).mark("end mark").u32(0xDEADBEEF);
    }
};

struct Vertex { float p[3], n[3], uv[4]; };  // as stored: (x, z, -y), (x, z, y), (u, 1 - v) per set
struct SubsetBytes { uint16_t first, triangles; const char *texture, *lightmap; };

// With one set the normals sit in the records and, when normalRecords, again in normal records; with two sets
// only in the latter. No bounds given: the starting extremes of a mesh without vertices.
inline PackBytes& meshChunk(PackBytes& b, const char* name, uint32_t sets, const std::vector<Vertex>& vertices,
                      bool normalRecords, std::vector<float> bounds, const std::vector<uint16_t>& indices,
                      const std::vector<SubsetBytes>& subsets) {
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, m = 3.4028235e38f;
    b.mark("magic").u32(0xDEAFBABE).mark("name length").name(name).mark("transform").fs(identity, 16);
    b.mark("sets").u32(sets).mark("vertex count").u32((uint32_t)vertices.size());
    for (size_t v = 0; v < vertices.size(); ++v) {
        b.mark("vertex " + std::to_string(v)).fs(vertices[v].p, 3);
        if (sets == 2) b.u32(0).fs(vertices[v].uv, 4); else b.fs(vertices[v].n, 3).fs(vertices[v].uv, 2);
    }
    b.mark("normal count").u32(normalRecords ? (uint32_t)vertices.size() : 0);
    for (size_t v = 0; normalRecords && v < vertices.size(); ++v) b.mark("normal " + std::to_string(v)).fs(vertices[v].n, 3);
    if (bounds.empty()) bounds = {m, m, m, -m, -m, -m};
    b.mark("bounds").fs(bounds.data(), 6).mark("index count").u32((uint32_t)indices.size()).mark("indices");
    for (uint16_t i : indices) b.u16(i);
    b.mark("subset count").u32((uint32_t)subsets.size());
    for (const SubsetBytes& s : subsets)
        b.mark("subset").u16(s.first).u16(s.triangles).mark("slot 0").slot(s.texture).mark("slot 1")
            .slot(s.lightmap).mark("slot 2").slot(nullptr).mark("slot 3").slot(nullptr);
    return b;
}

// Mesh "b", one set, plain: ASE corners A (0,0,0), B (1,0,0), C (0,1,0), normal (0,0,1), texture (0,0),
// (1,0), (0,0.5) stored C, B, A; one subset textured "wood". 357 bytes as a pack.
inline PackBytes& smallChunk(PackBytes& b) {
    return meshChunk(b, "b", 1,
              {{{0, 0, -1}, {0, 1, 0}, {0, 0.5f}}, {{1, 0, -0.0f}, {0, 1, 0}, {1, 1}}, {{0, 0, -0.0f}, {0, 1, 0}, {0, 1}}},
              true, {0, 0, -1, 1, 0, -0.0f}, {0, 1, 2}, {{0, 1, "wood", nullptr}});
}

// Mesh "wall", two sets: ASE corners A (1,2,3), B (4,-1,0.5), C (-2,4,-1), normals (0.6,0.8,0), (0,0,1),
// (1,0,0), sets (0.25,0.75) (0.125,0.5), (0.5,0) (0.75,0.25), (1,1) (0,1); one subset textured "Stone".
inline PackBytes& wallChunk(PackBytes& b, const char* texture = "Stone") {
    return meshChunk(b, "wall", 2,
              {{{-2, -1, -4}, {1, 0, 0}, {1, 0, 0, 0}}, {{4, 0.5f, 1}, {0, 1, 0}, {0.5f, 1, 0.75f, 0.75f}},
               {{1, 3, -2}, {0.6f, 0, 0.8f}, {0.25f, 0.25f, 0.125f, 0.5f}}},
              true, {-2, -1, -4, 4, 3, 1}, {0, 1, 2}, {{0, 1, texture, "wall_L_0000"}});
}

inline PackBytes smallPack() { PackBytes b; return smallChunk(b).tail({0}), b; }
inline PackBytes dualPack() { PackBytes b; return wallChunk(b).tail({0}), b; }

inline std::string packBytes(Mesh* head, uint32_t options = 0) {
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, head, options), out.flush();
    return std::string(stream.bytes.begin(), stream.bytes.end());
}

inline int loadBytes(const std::string& data, Pack& pack, PackError& error) {
    return loadPack((const unsigned char*)data.data(), (int64_t)data.size(), pack, error);
}
