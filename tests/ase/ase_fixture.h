#pragma once
// Helpers for the reader tests: ASE text served from memory, reads whose Log
// is examined, and pieces of ASE text built from a few numbers.
#include "ase/ase_reader.h"
#include "ase/face_indices.h"
#include "ase/geom_object.h"
#include "support/memory_streams.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

typedef std::vector<std::string> Lines;
typedef std::vector<FaceIndices> Faces;

// One read of text into a Scene, released afterwards. The Log is cleared
// first, so it holds what this read said.
struct Read {
    Scene scene;
    int result;
    explicit Read(const std::string& text) {
        resetLog();
        AseReader reader;
        result = reader.readScene(&scene, new BytesStream(text));
    }
    ~Read() {
        while (Mesh* mesh = scene.head) {
            scene.head = mesh->next;
            delete mesh;
        }
    }
};

// Replaces the process exit on a missing material reference while it lives:
// the call is recorded and returns, so the geometry object fails.
struct MissingRefSeam {
    static inline int calls = 0;
    static inline int status = 0;
    void (*saved)(int) = gMissingMaterialRefExit;
    MissingRefSeam() {
        calls = status = 0;
        gMissingMaterialRefExit = [](int s) { ++calls, status = s; };
    }
    ~MissingRefSeam() { gMissingMaterialRefExit = saved; }
};

inline bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The Log's lines without their '\n'; from the first line equal to first on,
// when first is given (none when there is no such line).
inline Lines logLines(const char* first = nullptr) {
    Lines lines;
    std::string text = logText();
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        if (first && lines.empty() && line != first) continue;
        lines.push_back(line);
    }
    return lines;
}

// The last Log line starting "ERROR: ", or "".
inline std::string lastError() {
    std::string found;
    for (const std::string& line : logLines())
        if (startsWith(line, "ERROR: ")) found = line;
    return found;
}

// What the writer relies on in a Mesh that was read: every index of every
// face names an existing entry, and the subsets cover the faces in order.
inline ::testing::AssertionResult meshIsSound(const Mesh& mesh) {
    auto within = [](int32_t index, int32_t count) { return index >= 0 && index < count; };
    for (int32_t f = 0; f < mesh.faces.count; ++f)
        for (const FaceCorner& c : mesh.faces[f].corners)
            if (!within(c.vertex, mesh.vertices.count) || !within(c.normal, mesh.normals.count) ||
                !within(c.tex[0], mesh.mapChannels[0].count) ||
                (mesh.mapChannels[1].count > 0 && !within(c.tex[1], mesh.mapChannels[1].count)))
                return ::testing::AssertionFailure() << "face " << f << " names a missing entry";
    int32_t next = 0;
    for (int32_t s = 0; s < mesh.subsets.count; ++s) {
        if (mesh.subsets[s].firstIndex != next)
            return ::testing::AssertionFailure() << "subset " << s << " does not follow on";
        next += 3 * mesh.subsets[s].triangleCount;
    }
    if (mesh.subsets.count > 0 && next != 3 * mesh.faces.count)
        return ::testing::AssertionFailure() << "subsets cover " << next / 3 << " faces";
    return ::testing::AssertionSuccess();
}

// ---- ASE text pieces ----

inline std::string str(int value) { return std::to_string(value); }

// Vertex i sits at (i, 2i, 3i).
inline std::string vertexList(int count) {
    std::string t = "*MESH_NUMVERTEX " + str(count) + "\n*MESH_VERTEX_LIST {\n";
    for (int i = 0; i < count; ++i)
        t += "*MESH_VERTEX " + str(i) + " " + str(i) + " " + str(2 * i) + " " + str(3 * i) + "\n";
    return t + "}\n";
}

inline std::string faceLine(int i, const FaceIndices& f) {
    return "*MESH_FACE " + str(i) + ": A: " + str(f.a) + " B: " + str(f.b) + " C: " + str(f.c) +
           " AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID " + str(f.materialId) + "\n";
}

inline std::string faceList(const Faces& faces) {
    std::string t = "*MESH_NUMFACES " + str((int)faces.size()) + "\n*MESH_FACE_LIST {\n";
    for (size_t i = 0; i < faces.size(); ++i) t += faceLine((int)i, faces[i]);
    return t + "}\n";
}

// Texture vertex i is (i / 8, 1 - i / 8).
inline std::string tvertList(int count) {
    std::string t = "*MESH_NUMTVERTEX " + str(count) + "\n*MESH_TVERTLIST {\n";
    for (int i = 0; i < count; ++i)
        t += "*MESH_TVERT " + str(i) + " " + std::to_string(i / 8.0) + " " + std::to_string(1 - i / 8.0) +
             " 0.0\n";
    return t + "}\n";
}

// One texture face per face, with the face's own vertex numbers.
inline std::string tfaceList(const Faces& faces) {
    std::string t = "*MESH_NUMTVFACES " + str((int)faces.size()) + "\n*MESH_TFACELIST {\n";
    for (size_t i = 0; i < faces.size(); ++i)
        t += "*MESH_TFACE " + str((int)i) + " " + str(faces[i].a) + " " + str(faces[i].b) + " " +
             str(faces[i].c) + "\n";
    return t + "}\n";
}

// Every corner gets the normal (0, 0, 1), keyed by the corner's vertex.
inline std::string normalsBlock(const Faces& faces) {
    std::string t = "*MESH_NORMALS {\n";
    for (size_t i = 0; i < faces.size(); ++i) {
        t += "*MESH_FACENORMAL " + str((int)i) + " 0.0 0.0 1.0\n";
        for (int v : {faces[i].a, faces[i].b, faces[i].c}) t += "*MESH_VERTEXNORMAL " + str(v) + " 0.0 0.0 1.0\n";
    }
    return t + "}\n";
}

// A complete mesh block with as many texture vertices as vertices.
inline std::string meshBlock(int vertexCount, const Faces& faces) {
    return "*MESH {\n" + vertexList(vertexCount) + faceList(faces) + tvertList(vertexCount) + tfaceList(faces) +
           normalsBlock(faces) + "}\n";
}

inline std::string geomObject(const std::string& name, const std::string& body) {
    return "*GEOMOBJECT {\n*NODE_NAME \"" + name + "\"\n*NODE_TM {\n*NODE_NAME \"" + name +
           "\"\n*TM_ROW0 1.0 0.0 0.0\n}\n" + body + "}\n";
}

// One material per entry, with that diffuse bitmap ("" for none); an entry
// "a|b|..." is a material whose submaterials have the bitmaps a, b, ...
inline std::string materialList(const Lines& entries) {
    auto material = [](const char* keyword, size_t number, const std::string& bitmap) {
        std::string t = std::string(keyword) + " " + std::to_string(number) + " {\n*MATERIAL_NAME \"m\"\n";
        return bitmap.empty() ? t : t + "*MAP_DIFFUSE {\n*BITMAP \"C:\\maps\\" + bitmap + "\"\n}\n";
    };
    std::string t = "*MATERIAL_LIST {\n*MATERIAL_COUNT " + std::to_string(entries.size()) + "\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        Lines parts;
        size_t start = 0;
        for (size_t bar; (bar = entries[i].find('|', start)) != std::string::npos; start = bar + 1)
            parts.push_back(entries[i].substr(start, bar - start));
        parts.push_back(entries[i].substr(start));
        t += material("*MATERIAL", i, parts.size() == 1 ? parts[0] : "");
        for (size_t j = 0; parts.size() > 1 && j < parts.size(); ++j)
            t += material("*SUBMATERIAL", j, parts[j]) + "}\n";
        t += "}\n";
    }
    return t + "}\n";
}
