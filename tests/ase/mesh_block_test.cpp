// The mesh block on its own: counts and their limits, lists, mapping
// channels, normal sharing, unknown blocks and the ways the block fails.
#include "ase/mesh_block.h"

#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// parseMesh over text, which stands for what follows "*MESH".
struct MeshParse {
    Mesh mesh;
    Array<FaceIndices> faceList;
    Tokenizer tokenizer;
    int result;
    explicit MeshParse(const std::string& text) {
        resetLog();
        tokenizer.setDelimiters("{}:");
        tokenizer.open(new BytesStream(text));
        result = parseMesh(&mesh, tokenizer, faceList);
    }
    std::string next() { return tokenizer.nextToken() ? tokenizer.text : "<end>"; }
};

// The five summary lines, after the lines given first.
Lines summary(int verts, int normals, int tex0, int tex1, int tris, Lines first = {}) {
    char line[64];
    const char* formats[] = {"%6d verts", "%6d normals", "%6d texst 0", "%6d texst 1", "%6d tris"};
    int values[] = {verts, normals, tex0, tex1, tris};
    for (int i = 0; i < 5; ++i) first.push_back((snprintf(line, sizeof line, formats[i], values[i]), line));
    return first;
}

const Faces kOne = {{0, 1, 2, 0}};

TEST(MeshBlock, CountLimits) {
    struct {
        std::string text;
        int result;
        Lines log;
    } cases[] = {
        {"{\n*MESH_NUMVERTEX 4194304\n}\n", 1, summary(4194304, 0, 0, 0, 0)},
        {"{\n*MESH_NUMVERTEX 4194305\n}\n", 0, {"ERROR: invalid number of vertices: 4194305"}},
        {"{\n*MESH_NUMVERTEX 0\n}\n", 0, {"ERROR: invalid number of vertices: 0"}},
        {"{\n*MESH_NUMVERTEX -1\n}\n", 0, {"ERROR: invalid number of vertices: -1"}},
        {"{\n*MESH_NUMVERTEX many\n}\n", 0, {"ERROR: invalid number of vertices: 0"}},
        {"{\n*MESH_NUMVERTEX 4294967299\n}\n", 0, {"ERROR: invalid number of vertices: 2147483647"}},
        {"{\n*MESH_NUMVERTEX -4294967295\n}\n", 0, {"ERROR: invalid number of vertices: -2147483648"}},
        {"{\n*MESH_NUMFACES 21845\n}\n", 1, summary(0, 0, 0, 0, 21845)},
        {"{\n*MESH_NUMFACES 21846\n}\n", 0, {"ERROR: invalid number of triangles: 21846"}},
        {"{\n*MESH_NUMFACES 0\n}\n", 0, {"ERROR: invalid number of triangles: 0"}},
        {"{\n*MESH_NUMTVERTEX 4194304\n}\n", 1, summary(0, 0, 4194304, 0, 0)},
        {"{\n*MESH_NUMTVERTEX 4194305\n}\n", 0,
         {"ERROR: invalid number of texture coordinates: 4194305, channel 0"}},
        {"{\n*MESH_NUMTVERTEX 0\n}\n", 0, {"ERROR: invalid number of texture coordinates: 0, channel 0"}},
        {"{\n*MESH_MAPPINGCHANNEL 2 {\n*MESH_NUMTVERTEX 0\n}\n}\n", 0,
         {"mapping channel: 1", "ERROR: invalid number of texture coordinates: 0, channel 1"}},
        {"{\n*MESH_NUMFACES 2\n*MESH_NUMTVFACES 3\n}\n", 0, {"ERROR: NUMTVFACES != NUMFACES"}},
    };
    for (const auto& c : cases) {
        MeshParse parse(c.text);
        EXPECT_EQ(c.result, parse.result) << c.text;
        EXPECT_EQ(c.log, logLines()) << c.text;
    }
}

TEST(MeshBlock, MappingChannels) {
    // Channel 2 fills map channel 1; its "}" does not close the mesh.
    MeshParse two("{\n" + tvertList(3) + "*MESH_MAPPINGCHANNEL 2 {\n" + tvertList(2) + "}\n}\n*AFTER\n");
    EXPECT_EQ(1, two.result);
    EXPECT_EQ(summary(0, 0, 3, 2, 0, {"mapping channel: 1"}), logLines());
    EXPECT_EQ(0.125f, two.mesh.mapChannels[1][1].u);
    EXPECT_EQ(0.875f, two.mesh.mapChannels[1][1].v);
    EXPECT_EQ("*AFTER", two.next());

    // Channel 1 is map channel 0, and its block ends at its own "}" too, so
    // the normals after it belong to the mesh.
    MeshParse one("{\n" + vertexList(3) + faceList(kOne) + "*MESH_MAPPINGCHANNEL 1 {\n" + tvertList(3) +
                  tfaceList(kOne) + "}\n" + normalsBlock(kOne) + "}\n*AFTER\n");
    EXPECT_EQ(1, one.result);
    EXPECT_EQ(summary(3, 3, 3, 0, 1, {"mapping channel: 0"}), logLines());
    EXPECT_EQ("*AFTER", one.next());

    struct {
        const char* number;
        const char* logged;
        const char* second;
    } failing[] = {
        {"3", "mapping channel: 2", "WARNING: too many mapping channels: 2"},
        {"0", "mapping channel: -1", nullptr},
        {"-2147483648", "mapping channel: -2147483648", nullptr},  // number - 1 saturates
        {"2 x", "mapping channel: 1", nullptr},                    // no "{"
    };
    for (const auto& c : failing) {
        MeshParse parse(std::string("{\n*MESH_MAPPINGCHANNEL ") + c.number + "\n{\n}\n}\n");
        EXPECT_EQ(0, parse.result) << c.number;
        Lines lines = logLines();
        ASSERT_EQ(c.second ? 3u : 2u, lines.size()) << c.number;
        EXPECT_EQ(c.logged, lines[0]);
        if (c.second) {
            EXPECT_EQ(c.second, lines[1]);
        }
        EXPECT_TRUE(startsWith(lines.back(), "ERROR: line 2: ")) << lines.back();
    }
}

TEST(MeshBlock, ListValues) {
    MeshParse parse(
        "{\n*MESH_NUMVERTEX 1\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 -1.5 0.25 1e3\n}\n"
        "*MESH_NUMFACES 1\n*MESH_FACE_LIST {\n"
        "*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID 3\n}\n"
        "*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0.25 0.75 0.0\n}\n"
        "*MESH_TFACELIST {\n*MESH_TFACE 0 0 7 -2\n}\n"
        "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0.5 -0.5 0.0\n"
        "*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 1 0\n}\n}\n");
    ASSERT_EQ(1, parse.result);
    const Mesh& mesh = parse.mesh;
    const FaceIndices& f = parse.faceList[0];
    const MeshFace& face = mesh.faces[0];
    EXPECT_EQ((std::vector<float>{-1.5f, 0.25f, 1000.0f, 0.25f, 0.75f, 0.5f, -0.5f, 0.0f}),
              (std::vector<float>{mesh.vertices[0].x, mesh.vertices[0].y, mesh.vertices[0].z,
                                  mesh.mapChannels[0][0].u, mesh.mapChannels[0][0].v, face.normal.x,
                                  face.normal.y, face.normal.z}));
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 0, 7, -2, 0, 0, 1}),
              (std::vector<int32_t>{f.a, f.b, f.c, f.materialId, face.corners[0].tex[0], face.corners[1].tex[0],
                                    face.corners[2].tex[0], face.corners[0].normal, face.corners[1].normal,
                                    face.corners[2].normal}));
}

TEST(MeshBlock, FaceLines) {
    // A face without *MESH_MTLID runs on, past the list's "}", to the next one.
    MeshParse open("{\n*MESH_NUMFACES 1\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 *MESH_SMOOTHING 1\n}\n"
                   "*MESH_MTLID 4\n}\n}\n*AFTER\n");
    EXPECT_EQ(1, open.result);
    EXPECT_EQ(4, open.faceList[0].materialId);
    EXPECT_EQ("*AFTER", open.next());

    // ... and takes the next face's corners as its own.
    MeshParse merged("{\n*MESH_NUMFACES 2\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2\n"
                     "*MESH_FACE 1: A: 3 B: 4 C: 5 *MESH_MTLID 7\n}\n}\n");
    EXPECT_EQ(0, merged.result);  // one face short
    const FaceIndices& f = merged.faceList[0];
    EXPECT_EQ((Lines{"3", "4", "5", "7"}), (Lines{str(f.a), str(f.b), str(f.c), str(f.materialId)}));
}

TEST(MeshBlock, NormalsAreSharedPerVertexRun) {
    struct Corner {
        int vertex;
        const char* normal;
    };
    struct {
        const char* what;
        Corner corners[3];
        int normals;
        Lines indices;
    } cases[] = {
        {"P P P", {{0, "0 0 1"}, {0, "0 0 1"}, {0, "0 0 1"}}, 1, {"0", "0", "0"}},
        {"P Q P", {{0, "0 0 1"}, {0, "0 1 0"}, {0, "0 0 1"}}, 3, {"0", "1", "2"}},
        {"three vertices", {{0, "0 0 1"}, {1, "0 0 1"}, {2, "0 0 1"}}, 3, {"0", "1", "2"}},
        {"vertex number is only the key", {{2, "0 0 1"}, {1, "0 0 1"}, {2, "0 0 1"}}, 2, {"0", "1", "0"}},
        // 1e-9 as a float is the tolerance itself, which passes; 1.1e-9 is
        // compared with the kept normal (0, 0, 0) and does not.
        {"tolerance", {{0, "0 0 0"}, {0, "0.000000001 0 0"}, {0, "0 0.0000000011 0"}}, 2, {"0", "0", "1"}},
        {"NaN is never equal", {{0, "nan 0 0"}, {0, "nan 0 0"}, {0, "0 0 0"}}, 3, {"0", "1", "2"}},
    };
    for (const auto& c : cases) {
        std::string normals = "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n";
        for (const Corner& k : c.corners)
            normals += "*MESH_VERTEXNORMAL " + str(k.vertex) + " " + k.normal + "\n";
        MeshParse parse("{\n" + vertexList(3) + "*MESH_NUMFACES 1\n" + normals + "}\n}\n");
        ASSERT_EQ(1, parse.result) << c.what;
        EXPECT_EQ(c.normals, parse.mesh.normals.count) << c.what;
        const FaceCorner* k = parse.mesh.faces[0].corners;
        EXPECT_EQ(c.indices, (Lines{str(k[0].normal), str(k[1].normal), str(k[2].normal)})) << c.what;
    }
}

TEST(MeshBlock, UnknownBlocksAndEndOfInput) {
    // Vertex colours are skipped whole; the normals after them still count.
    MeshParse colours("{\n" + vertexList(3) + faceList(kOne) +
                      "*MESH_NUMCVERTEX 1\n*MESH_CVERTLIST {\n*MESH_VERTCOL 0 1.0 1.0 1.0\n}\n"
                      "*MESH_CFACELIST {\n*MESH_CFACE 0 0 0 0\n}\n" +
                      normalsBlock(kOne) + "}\n*AFTER\n");
    EXPECT_EQ(1, colours.result);
    EXPECT_EQ(summary(3, 3, 0, 0, 1), logLines());
    EXPECT_EQ("*AFTER", colours.next());

    const std::string cut[] = {
        "{\n" + vertexList(2),
        "{\n" + vertexList(2) + "*MESH_CVERTLIST {\n*MESH_VERTCOL 0 { 1.0 } 1.0 1.0\n",
        "{\n" + vertexList(2) + "*MESH_MAPPINGCHANNEL 2 {\n",
    };
    for (const std::string& text : cut) {
        MeshParse parse(text);
        EXPECT_EQ(1, parse.result) << text;
        EXPECT_EQ(summary(2, 0, 0, 0, 0), logLines("     2 verts")) << text;
    }
}

TEST(MeshBlock, FailuresSayWhere) {
    const std::string v2 = "{\n*MESH_NUMVERTEX 2\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n";
    const std::string f2 = "{\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 2\n";
    const std::string faces = f2 + "*MESH_FACE_LIST {\n", normals = f2 + "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n";
    const std::string cases[] = {
        "x\n",                                  // no "{"
        "{\n*MESH_NUMVERTEX\n",                 // the end inside a count
        "{\n*MESH_VERTEX_LIST {\n}\n}\n",        // a list before its count
        "{\n*MESH_FACE_LIST {\n}\n}\n",
        "{\n*MESH_TVERTLIST {\n}\n}\n",
        "{\n*MESH_TFACELIST {\n}\n}\n",
        "{\n*MESH_NUMVERTEX 2\n*MESH_VERTEX_LIST\n*MESH_VERTEX 0 0 0 0\n}\n",
        v2 + "*MESH_VERTEX 2 0 0 0\n}\n}\n",      // numbers run 0, 1, 2, ...
        v2 + "*MESH_TVERT 1 0 0 0\n}\n}\n",
        v2 + "*MESH_VERTEX 1 0 0 0\n*MESH_VERTEX 2 0 0 0\n}\n}\n",
        v2 + "*MESH_VERTEX 1 0 0\n",
        faces + "*MESH_FACE 1: A: 0 B: 1 C: 2 *MESH_MTLID 0\n}\n}\n",
        faces + faceLine(0, kOne[0]) + "}\n}\n",
        faces + faceLine(0, kOne[0]) + faceLine(1, kOne[0]) + faceLine(2, kOne[0]) + "}\n}\n",
        faces + "*MESH_FACE 0: A 0\n}\n}\n",
        faces + "*MESH_FACE 0: A: 0 B:\n",
        f2 + "*MESH_NUMTVERTEX 3\n*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n}\n}\n",
        normals + "*MESH_FACENORMAL 1 0 0 1\n",
        normals + "*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 3 0 0 1\n",  // no such vertex
        normals + "*MESH_VERTEXNORMAL -1 0 0 1\n",
        normals + "*MESH_VERTEXNORMAL 0 0 0\n",
    };
    for (const std::string& text : cases) {
        MeshParse parse(text);
        EXPECT_EQ(0, parse.result) << text;
        EXPECT_TRUE(startsWith(lastError(), "ERROR: line ")) << text << lastError();
    }
}

}  // namespace
