#pragma once
// Shared pieces of the writer tests: an in-memory Stream, a little-endian
// byte builder for hand-made expectations, Mesh builders and a scratch folder.
#include "platform/stream.h"
#include "scene/scene.h"
#include "support/memory_streams.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/buffered_writer.h"
#include "writer/qrv_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

inline std::vector<unsigned char> packBytes(Mesh* head, uint32_t options = 0) {
    MemoryWriteStream stream;
    {
        BufferedWriter out(&stream);
        writePackTo(out, head, options);
        out.flush();
    }
    return stream.bytes;
}

// Expected output, spelled out field by field.
struct Bytes {
    std::vector<unsigned char> v;
    Bytes& u32(uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back((unsigned char)(x >> (8 * i)));
        return *this;
    }
    Bytes& u16(uint16_t x) {
        v.push_back((unsigned char)x);
        v.push_back((unsigned char)(x >> 8));
        return *this;
    }
    Bytes& f32(float x) {
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        return u32(bits);
    }
    Bytes& f3(float x, float y, float z) { return f32(x).f32(y).f32(z); }
    // A name field: length counting the zero, then the bytes and the zero.
    Bytes& name(const char* text) {
        u32((uint32_t)std::strlen(text) + 1);
        v.insert(v.end(), text, text + std::strlen(text) + 1);
        return *this;
    }
    Bytes& slot(const char* text) {  // nullptr: empty slot
        if (text) name(text); else u32(0);
        return f32(0).f32(0).f32(1).f32(1);
    }
    Bytes& identity() {
        for (int i = 0; i < 16; ++i) f32(i % 5 == 0 ? 1.0f : 0.0f);
        return *this;
    }
    Bytes& startBounds() { return u32(0x7F7FFFFF).u32(0x7F7FFFFF).u32(0x7F7FFFFF).u32(0xFF7FFFFF).u32(0xFF7FFFFF).u32(0xFF7FFFFF); }
    Bytes& bytes(const Bytes& other) {
        v.insert(v.end(), other.v.begin(), other.v.end());
        return *this;
    }
};

// Appends a triangle whose corner k uses entry first + k of every list.
inline void addFace(Mesh& mesh, int32_t first) {
    MeshFace face = {};
    for (int k = 0; k < 3; ++k)
        face.corners[k] = FaceCorner{first + k, first + k, {first + k, first + k}};
    mesh.faces.push(face);
}

// texture nullptr leaves the subset's textureName empty (no storage).
inline void addSubset(Mesh& mesh, int32_t firstIndex, int32_t triangles, const char* texture) {
    MeshSubset& subset = mesh.subsets.pushCleared();
    subset.firstIndex = firstIndex;
    subset.triangleCount = triangles;
    if (texture) subset.textureName.assign(String(texture));
}

// The triangle used by the hand-worked cases: corners A, B, C, ASE y in [-1, 4].
inline void addWorkedTriangle(Mesh& mesh, bool lightmap) {
    const Vec3 positions[3] = {{1, 2, 3}, {4, -1, 0.5f}, {-2, 4, -1}};
    const Vec3 normals[3] = {{0.6f, 0.8f, 0}, {0, 0, 1}, {1, 0, 0}};
    const TexVertex tex[2][3] = {{{0.25f, 0.75f}, {0.5f, 0}, {1, 1}},
                                 {{0.125f, 0.5f}, {0.75f, 0.25f}, {0, 1}}};
    for (int k = 0; k < 3; ++k) {
        mesh.vertices.push(positions[k]);
        mesh.normals.push(normals[k]);
        mesh.mapChannels[0].push(tex[0][k]);
        if (lightmap) mesh.mapChannels[1].push(tex[1][k]);
    }
    addFace(mesh, 0);
}

// A fresh folder under the system's temporary directory, removed afterwards.
struct TempDir {
    std::filesystem::path path;
    TempDir() : path(makeScratchDirectory()) {}
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const char* name) const { return (path / name).string(); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A one-triangle ASE file: object "Crate", diffuse bitmap maps/Crate.tga and,
// with lightmap, a second mapping channel.
inline std::string crateAse(bool lightmap) {
    std::string text =
        "*MATERIAL_LIST {\n*MATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"maps/Crate.tga\" } }\n}\n"
        "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"Crate\" }\n*MESH {\n"
        "*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n"
        "*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n"
        "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 1 *MESH_MTLID 0\n}\n"
        "*MESH_NUMTVERTEX 3\n"
        "*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n*MESH_TVERT 1 1 0 0\n*MESH_TVERT 2 0 1 0\n}\n"
        "*MESH_NUMTVFACES 1\n*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n}\n";
    if (lightmap)
        text += "*MESH_MAPPINGCHANNEL 2 {\n*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n"
                "*MESH_TVERT 0 0.5 0.5 0\n}\n*MESH_TFACELIST {\n*MESH_TFACE 0 0 0 0\n}\n}\n";
    return text + "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n"
                  "*MESH_VERTEXNORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 2 0 0 1\n}\n}\n*MATERIAL_REF 0\n}\n";
}

// Runs the tool in folder with the arguments (separated by spaces); its
// standard output, lines ending in '\n', goes to output. The exit status as
// a signed byte (so -1 for -1), or -1000 when it did not exit normally.
inline int runTarvolt(const std::string& folder, const std::string& arguments, std::string* output) {
#if !defined(_WIN32)
    // The Scene lives until exit by design; a leak check would fail the run.
    const char* options = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":detect_leaks=0").c_str(), 1);
#endif
    std::vector<std::string> args;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) args.push_back(word);
    ProgramRun run = runProgram(TARVOLT_BINARY, folder, args);
    *output = fromNative(run.output);
    std::remove((folder + "/app.log").c_str());
    return run.exitCode == -1000 ? -1000 : (int)(signed char)run.exitCode;
}
