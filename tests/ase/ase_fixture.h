#pragma once
// Reads of ASE text from memory whose Log is examined, and ASE text built from a few numbers.
#include "ase/ase_reader.h"
#include "ase/face_indices.h"
#include "ase/geom_object.h"
#include "support/memory_streams.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"

#include <sstream>

typedef std::vector<FaceIndices> Faces;

// While it lives, calls counts the reads that stopped at a missing material reference, where the run would end.
struct MissingRefSeam {
    static inline int calls = 0;
    MissingRefSeam() { calls = 0; }
};

// One read of text into a Scene, released afterwards, lineScans off by tokens; the Log holds what the read said.
struct Read {
    Scene scene;
    int result;
    explicit Read(const std::string& text, bool lineScans = true) {
        resetLog();
        AseReader reader;
        reader.options.lineScans = lineScans;
        result = reader.readScene(&scene, new (std::nothrow) BytesStream(text));
        MissingRefSeam::calls += reader.missingMaterialRef;
    }
    ~Read() { while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh; }
};

// The Log from its first line that starts with first on; "" without one.
inline std::string logFrom(const std::string& first) {
    const std::string text = "\n" + logText();
    const size_t at = text.find("\n" + first);
    return at == std::string::npos ? "" : text.substr(at + 1);
}

// The last Log line starting "ERROR: ", or "".
inline std::string lastError() {
    const std::string text = "\n" + logText();
    const size_t at = text.rfind("\nERROR: ");
    return at == std::string::npos ? "" : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

inline std::string str(int value) { return std::to_string(value); }

// Vertex i sits at (i, 2i, 3i), texture vertex i at (i / 8, 1 - i / 8).
inline std::string vertexList(int n) {
    std::string t = "*MESH_NUMVERTEX " + str(n) + "\n*MESH_VERTEX_LIST {\n";
    for (int i = 0; i < n; ++i)
        t += "*MESH_VERTEX " + str(i) + " " + str(i) + " " + str(2 * i) + " " + str(3 * i) + "\n";
    return t + "}\n";
}

inline std::string tvertList(int n) {
    std::string t = "*MESH_NUMTVERTEX " + str(n) + "\n*MESH_TVERTLIST {\n";
    for (int i = 0; i < n; ++i)
        t += "*MESH_TVERT " + str(i) + " " + std::to_string(i / 8.0) + " " + std::to_string(1 - i / 8.0) + " 0.0\n";
    return t + "}\n";
}

inline std::string faceList(const Faces& faces) {
    std::string t = "*MESH_NUMFACES " + str((int)faces.size()) + "\n*MESH_FACE_LIST {\n";
    for (size_t i = 0; i < faces.size(); ++i)
        t += "*MESH_FACE " + str((int)i) + ": A: " + str(faces[i].a) + " B: " + str(faces[i].b) + " C: " +
             str(faces[i].c) + " AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID " + str(faces[i].materialId) + "\n";
    return t + "}\n";
}

// One texture face per face, with the face's own vertex numbers.
inline std::string tfaceList(const Faces& faces) {
    std::string t = "*MESH_NUMTVFACES " + str((int)faces.size()) + "\n*MESH_TFACELIST {\n";
    for (size_t i = 0; i < faces.size(); ++i)
        t += "*MESH_TFACE " + str((int)i) + " " + str(faces[i].a) + " " + str(faces[i].b) + " " + str(faces[i].c) +
             "\n";
    return t + "}\n";
}

// Vertex v's normal, the same in both layouts: (v / 8, 0.5, 1).
inline std::string vertexNormal(int v) { return str(v) + " " + std::to_string(v / 8.0) + " 0.5 1.0\n"; }

// As 3ds max lists them: after each face normal (0, 0, 1) the normals of its corners.
inline std::string normalsBlock(const Faces& faces) {
    std::string t = "*MESH_NORMALS {\n";
    for (size_t i = 0; i < faces.size(); ++i) {
        t += "*MESH_FACENORMAL " + str((int)i) + " 0.0 0.0 1.0\n";
        for (int v : {faces[i].a, faces[i].b, faces[i].c}) t += "*MESH_VERTEXNORMAL " + vertexNormal(v);
    }
    return t + "}\n";
}

// As q3map2 lists them: every face normal, then one normal per vertex in the given order.
inline std::string normalsApart(size_t faces, const std::vector<int>& vertices) {
    std::string t = "*MESH_NORMALS {\n";
    for (size_t i = 0; i < faces; ++i) t += "*MESH_FACENORMAL " + str((int)i) + " 0.0 0.0 1.0\n";
    for (int v : vertices) t += "*MESH_VERTEXNORMAL " + vertexNormal(v);
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

// One material per entry, with that diffuse bitmap ("" for none); "a|b|..." has submaterials with the bitmaps a, b, ...
inline std::string materialList(const std::vector<std::string>& entries) {
    auto diffuse = [](const std::string& b) {
        return "*MATERIAL_NAME \"m\"\n" + (b.empty() ? "" : "*MAP_DIFFUSE {\n*BITMAP \"C:\\maps\\" + b + "\"\n}\n");
    };
    std::string t = "*MATERIAL_LIST {\n*MATERIAL_COUNT " + str((int)entries.size()) + "\n", bitmap;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string body = entries[i].find('|') == std::string::npos ? diffuse(entries[i]) : "";
        std::istringstream parts(body.empty() ? entries[i] : "");
        for (int j = 0; std::getline(parts, bitmap, '|'); ++j) body += "*SUBMATERIAL " + str(j) + " {\n" + diffuse(bitmap) + "}\n";
        t += "*MATERIAL " + str((int)i) + " {\n" + body + "}\n";
    }
    return t + "}\n";
}

// The real binary's run on a file "in.ase" of the bytes: exit code, standard output and error, app.log, pack.
struct Converted { int exitCode; std::string output, log, pack; };
inline Converted convert(const std::string& bytes, std::vector<std::string> args = {}) {
    ScratchDir dir;
    writeBytes(dir / "in.ase", bytes);
    args.push_back("in.ase");
    const ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, args, true);
    return {run.exitCode, fromNative(run.output), readText(dir / "app.log"), readBytes(dir / "in.qrv")};
}
