#pragma once
// Packs spelled out field by field, little-endian, for expectations worked
// out by hand; marks name field offsets for corrupting them.
#include "qrvinfo/pack_loader.h"
#include "support/memory_streams.h"
#include "writer/qrv_writer.h"

#include <map>
#include <string>

struct PackBytes {
    std::string data;
    std::map<std::string, uint32_t> marks;

    uint32_t at() const { return (uint32_t)data.size(); }
    PackBytes& mark(const std::string& name) { return marks[name] = at(), *this; }
    PackBytes& u16(uint16_t v) { return data.append({(char)v, (char)(v >> 8)}), *this; }
    PackBytes& u32(uint32_t v) { return u16((uint16_t)v).u16((uint16_t)(v >> 16)); }
    PackBytes& f32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return u32(bits);
    }
    PackBytes& name(const char* text) {  // null: no name, length 0
        if (!text) return u32(0);
        return u32((uint32_t)std::strlen(text) + 1), data.append(text, std::strlen(text) + 1), *this;
    }
    PackBytes& slot(const char* text) { return name(text).f32(0).f32(0).f32(1).f32(1); }
    PackBytes& tail(const std::vector<uint32_t>& offsets) {
        mark("table");
        for (uint32_t offset : offsets) u32(offset);
        return mark("chunk count").u32((uint32_t)offsets.size()).mark("end mark").u32(0xDEADBEEF);
    }
};

// A vertex as stored: position (x, z, -y), normal (x, z, y), sets (u, 1 - v).
struct Vertex {
    float p[3], n[3], uv[4];
};
struct SubsetBytes {
    uint16_t first, triangles;
    const char *texture, *lightmap;
};

// The bounds of a mesh without vertices: the starting extremes.
const std::vector<float> kNoBounds = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f,
                                      -3.4028235e38f, -3.4028235e38f, -3.4028235e38f};

// With one set the normals sit in the records and, when normalRecords, again
// in normal records; with two sets only in the latter.
inline void meshChunk(PackBytes& b, const char* name, uint32_t sets, const std::vector<Vertex>& vertices,
                      bool normalRecords, const std::vector<float>& bounds,
                      const std::vector<uint16_t>& indices, const std::vector<SubsetBytes>& subsets) {
    b.mark("magic").u32(0xDEAFBABE).mark("name length").name(name).mark("transform");
    for (int i = 0; i < 16; ++i) b.f32(i % 5 == 0 ? 1.0f : 0.0f);
    b.mark("sets").u32(sets).mark("vertex count").u32((uint32_t)vertices.size());
    for (size_t v = 0; v < vertices.size(); ++v) {
        const Vertex& x = vertices[v];
        b.mark("vertex " + std::to_string(v)).f32(x.p[0]).f32(x.p[1]).f32(x.p[2]);
        if (sets == 2) b.u32(0).f32(x.uv[0]).f32(x.uv[1]).f32(x.uv[2]).f32(x.uv[3]);
        else b.f32(x.n[0]).f32(x.n[1]).f32(x.n[2]).f32(x.uv[0]).f32(x.uv[1]);
    }
    b.mark("normal count").u32(normalRecords ? (uint32_t)vertices.size() : 0);
    for (size_t v = 0; normalRecords && v < vertices.size(); ++v)
        b.mark("normal " + std::to_string(v)).f32(vertices[v].n[0]).f32(vertices[v].n[1]).f32(vertices[v].n[2]);
    b.mark("bounds");
    for (float f : bounds) b.f32(f);
    b.mark("index count").u32((uint32_t)indices.size()).mark("indices");
    for (uint16_t i : indices) b.u16(i);
    b.mark("subset count").u32((uint32_t)subsets.size());
    for (const SubsetBytes& s : subsets)
        b.mark("subset").u16(s.first).u16(s.triangles).mark("slot 0").slot(s.texture).mark("slot 1")
            .slot(s.lightmap).mark("slot 2").slot(nullptr).mark("slot 3").slot(nullptr);
}

// The smallest real case: mesh "b", one triangle, one set, plain, one subset
// textured "wood". ASE corners A (0,0,0), B (1,0,0), C (0,1,0) with normal
// (0,0,1) and texture (0,0), (1,0), (0,0.5) are stored C, B, A. 357 bytes.
inline PackBytes smallPack() {
    PackBytes b;
    meshChunk(b, "b", 1,
              {{{0, 0, -1}, {0, 1, 0}, {0, 0.5f}}, {{1, 0, -0.0f}, {0, 1, 0}, {1, 1}},
               {{0, 0, -0.0f}, {0, 1, 0}, {0, 1}}},
              true, {0, 0, -1, 1, 0, -0.0f}, {0, 1, 2}, {{0, 1, "wood", nullptr}});
    return b.tail({0}), b;
}

inline std::string packBytes(Mesh* head, uint32_t options = 0, int* writeCalls = nullptr) {
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, head, options);
    out.flush();
    if (writeCalls) *writeCalls = stream.writeCalls;
    return std::string(stream.bytes.begin(), stream.bytes.end());
}

inline int loadBytes(const std::string& data, Pack& pack, PackError& error) {
    return loadPack((const unsigned char*)data.data(), (int64_t)data.size(), pack, error);
}
