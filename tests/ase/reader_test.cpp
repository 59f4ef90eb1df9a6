// The reader: materials and their Log, subsets, the mesh block, the faults that must not reach the writer, the corpus.
#include "ase/ase_fixture.h"
#include "platform/filesystem.h"
#include "platform/log.h"
#include "support/rng.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "writer/buffered_writer.h"
#include "writer/qrv_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

namespace {

// Material 0 has a texture, 1 two submaterials, 2 three; on one line, so that what follows keeps its line numbers.
const std::string kMaterials = [] {
    std::string t = materialList({"wood.tga", "t0.tga|t1.tga", "t0.tga|t1.tga|t2.tga"});
    return std::replace(t.begin(), t.end(), '\n', ' '), t;
}();
const Faces kFourFaces = {{0, 1, 2, 0}, {1, 2, 3, 1}, {2, 3, 0, 0}, {3, 0, 1, 2}};  // the ids 0, 1, 0, 2
const Faces kOne = {{0, 1, 2, 0}};

std::string object(const std::string& body, int materialRef) {
    return "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"Box01\" }\n" + body + "*MATERIAL_REF " + str(materialRef) + "\n}\n";
}

// Subsets as "first+count", faces by first vertex, "!" where a normal or texture vertex did not go with its vertex.
std::string layout(const Mesh* m) {
    std::string out;
    for (int32_t s = 0; m && s < m->subsets.count; ++s)
        out += str(m->subsets[s].firstIndex) + "+" + str(m->subsets[s].triangleCount) + " ";
    for (int32_t f = 0; m && f < m->faces.count; ++f) {
        out += "| " + str(m->faces[f].corners[0].vertex);
        for (const FaceCorner& c : m->faces[f].corners) out += c.normal == c.vertex && c.tex[0] == c.vertex ? "" : "!";
    }
    return out;
}

TEST(Reader, Materials) {
    // The last diffuse bitmap counts, other maps' none; only direct submaterials are listed.
    Read read("*MATERIAL_LIST {\n*MATERIAL 5 { *MAP_AMBIENT { *BITMAP \"a.tga\" } *MAP_DIFFUSE { *BITMAP \"b.tga\" }\n"
              "*MAP_DIFFUSE { *BITMAP \"C:\\maps\\c.bmp\" } }\n*MATERIAL 1 { *SUBMATERIAL 7 { *MAP_DIFFUSE {\n"
              "*BITMAP \"s.tga\" } *SUBMATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"d\" } } } *SUBMATERIAL 3 { } }\n}\n");
    EXPECT_EQ("material[0]: c\nmaterial[1]: (null)\n\tSubMat[0]: s\n\tSubMat[1]: (null)\ndone!\n", logText());
    const char* const paths[][2] = {{"C:\\models\\maps\\Wood_Oak.TGA", "Wood_Oak"}, {"maps/brick.tga", "brick"},
                                    {"C:\\maps/brick.tga", "maps/brick"},  // a backslash wins over a later slash
                                    {"archive.tar.gz", "archive.tar"},     {"C:\\maps.old/brick", "maps.old/brick"},
                                    {"Rough Stone 2.Bmp", "Rough Stone 2"}, {"noext", "noext"}, {".tga", ""}};
    for (const auto& p : paths) {
        String name;
        EXPECT_TRUE(textureNameFromPath(p[0], name));
        EXPECT_STREQ(p[1], name.data) << p[0];
    }
    // 32 levels of *SUBMATERIAL pass, the 33rd (on line 35) fails.
    for (int levels : {32, 33}) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) open += "*SUBMATERIAL 0 {\n", close += "}\n";
        Read deep("*MATERIAL_LIST {\n*MATERIAL 0 {\n" + open + "*MAP_DIFFUSE { *BITMAP \"d\" }\n" + close + "}\n}\n");
        EXPECT_TRUE(levels == 32 ? logText() == "material[0]: (null)\n\tSubMat[0]: (null)\ndone!\n"
                                 : startsWith(logText(), "ERROR: line 35: ") && !deep.result) << logText();
    }
}

// The reader's loop as first written: every list logs the whole table at once.
int parseMaterialList(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table) {
    if (!parseMaterialListBlock(context, tokenizer, table)) return 0;
    for (int32_t i = 0; i < table.count; ++i) {
        gLog->print("material[%d]: %s\n", i, table[i].textureName.printable());
        for (int32_t j = 0; j < table[i].subMaterials.count; ++j)
            gLog->print("\tSubMat[%d]: %s\n", j, table[i].subMaterials[j].textureName.printable());
    }
    return 1;
}

int readLoggingEveryLine(const std::string& text) {
    resetLog();
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    tokenizer.open(new BytesStream(text));
    MaterialTable materials;
    Mesh mesh;
    ReadContext context;
    int result = 1;
    while (result && tokenizer.nextToken()) {
        if (tokenizer.is("*GEOMOBJECT") && (result = parseGeomObject(context, &mesh, tokenizer, materials)))
            gLog->print("mesh: %s\n", mesh.name.printable());
        if (tokenizer.is("*MATERIAL_LIST")) result = result && parseMaterialList(context, tokenizer, materials);
    }
    if (result) gLog->print("done!\n");
    destroyMaterials(materials);
    return result;
}

// However many lists and however large the table, the Log ends up as logging every line leaves it.
TEST(Reader, MaterialLogAsIfEveryLineWereLogged) {
    Rng rng{5};
    const std::string failures[] = {"*MATERIAL_LIST x\n", "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP",
                                    "*MATERIAL_LIST {\n*MATERIAL 0 \"" + std::string(3000, 'q') + "\"\n"};
    for (int size : {1, 37, 400, 1500})
        for (int round = 0; round < 6; ++round) {
            std::string text = materialList({"first"});
            for (int i = 0, lists = 1 + (int)rng.below(16); i < lists; ++i) {
                std::vector<std::string> entries(rng.below(3) ? size : 0);  // some without texture, some with subs
                for (std::string& e : entries)
                    e = std::string(rng.below(6) ? 1 + rng.below(40) : 0, (char)('a' + rng.below(26))) +
                        (rng.below(6) ? "" : "|" + std::string(rng.below(200), 'z') + "|");
                text += materialList(entries) + (round % 2 && !rng.below(4) ? object("", 0) : "");
            }
            if (round >= 3) text += failures[round - 3];
            const int result = readLoggingEveryLine(text);
            const std::string expected = logText() + str(gLog->mark().used) + " " + str(gLog->mark().pending);
            Read read(text);
            EXPECT_EQ(result, read.result);
            EXPECT_TRUE(expected == logText() + str(gLog->mark().used) + " " + str(gLog->mark().pending))
                << size << " " << round;
        }
}

TEST(Reader, Subsets) {
    MissingRefSeam seam;
    // Unknown blocks, nested ones too, are skipped by brace depth.
    std::string mesh = meshBlock(4, kFourFaces);
    mesh.insert(8, "*MESH_CVERTLIST {\n*MESH_VERTCOL 0 { 1.0 } 1.0 1.0\n}\n");
    Read read(kMaterials + object("*TM_ANIMATION {\n*CONTROL_POS_TRACK {\n*SAMPLE 0\n}\n}\n" + mesh, 1) +
              geomObject("Box02", "*MATERIAL_REF 0\n"));
    ASSERT_STREQ("Box02", read.scene.head->name.data);  // the Scene runs in reverse reading order
    ASSERT_EQ("0+2 6+1 | 0| 2| 1", layout(read.scene.head->next));  // face 3 (id 2) is gone
    const Mesh& m = *read.scene.head->next;
    EXPECT_TRUE(m.vertices[2].y == 4 && m.vertices[3].z == 9 && m.mapChannels[0][1].u == 0.125f &&
                m.mapChannels[0][1].v == 0.875f && m.faces[2].normal.z == 1);
    EXPECT_EQ("     4 verts\n     4 normals\n     4 texst 0\n     0 texst 1\n     4 tris\nmatref=1\n"
              "\t[0] 0 2 \"t0\"\n\t[1] 6 1 \"t1\"\nfaces=4, numTris=3, Tris=4, tidx=0\nmesh: Box01\nmatref=0\n"
              "\t[0] 0 0 \"wood\"\nmesh: Box02\ndone!\n",
              logFrom("     4 verts"));
    // As the plain grouping: per submaterial its faces in file order, other ids dropped, lines for used ids only.
    Rng rng{7};
    for (int round = 0; round < 40; ++round) {
        const int subs = 2 + (int)rng.below(round ? 5 : 300), count = 1 + (int)rng.below(round ? 30 : 3000);
        std::string entry = "s0", subsets, order, log = "matref=0\n";
        Faces faces;  // face f's first corner is vertex f
        for (int f = 0; f < count; ++f) faces.push_back({f, f + 1, f + 2, (int)rng.below(subs + 2) - 1});
        int placed = 0;
        for (int s = 0; s < subs; ++s) {
            int used = 0;
            entry += s ? "|s" + str(s) : "";
            for (const FaceIndices& f : faces)
                if (f.materialId == s) order += "| " + str(f.a), ++used;
            if (used) subsets += str(3 * placed) + "+" + str(used) + " ";
            if (used) log += "\t[" + str(s) + "] " + str(3 * placed) + " " + str(used) + " \"s" + str(s) + "\"\n";
            placed += used;
        }
        Read grouped(materialList({entry}) + object(meshBlock(count + 2, faces), 0));
        EXPECT_EQ(subsets + order, layout(grouped.scene.head));
        EXPECT_EQ(log + "faces=" + str(count) + ", numTris=" + str(placed) + ", Tris=" + str(count) +
                      ", tidx=0\nmesh: Box01\ndone!\n", logFrom("matref=")) << round;
    }
}

// Each mesh body read after no material list (an invalid reference) and after one: the Log from the expected text's
// first line on is that text when it holds an ERROR, and starts with it otherwise.
TEST(Reader, MeshBlock) {
    MissingRefSeam seam;
    std::string v = vertexList(3), n = normalsBlock(kOne), f = faceList(kOne), uv = tvertList(3) + tfaceList(kOne);
    auto normals = [&](const std::string& a, const std::string& b, const std::string& c) {  // "vertex x y z" each
        return v + "*MESH_NUMFACES 1\n*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL " + a +
               "\n*MESH_VERTEXNORMAL " + b + "\n*MESH_VERTEXNORMAL " + c + "\n}";
    };
    const std::pair<std::string, std::string> cases[] = {
        {"*MESH_NUMVERTEX 4194304", "4194304 verts\n"},
        {"*MESH_NUMVERTEX 4194305", "ERROR: invalid number of vertices: 4194305\n"},
        {"*MESH_NUMVERTEX -1", "ERROR: invalid number of vertices: -1\n"},
        {"*MESH_NUMFACES 21845", " 21845 tris\n"},
        {"*MESH_NUMFACES 21846", "ERROR: invalid number of triangles: 21846\n"},
        {"*MESH_NUMTVERTEX 4194305", "ERROR: invalid number of texture coordinates: 4194305, channel 0\n"},
        // Channel 2 fills map channel 1, channel 1 map 0; a block ends at its own "}", the normals after it count.
        {v + f + "*MESH_MAPPINGCHANNEL 1 {\n" + tvertList(4) + tfaceList(kOne) + "}\n*MESH_MAPPINGCHANNEL 2 {\n" +
             tvertList(5) + tfaceList(kOne) + "}\n" + n,
         "mapping channel: 0\nmapping channel: 1\n     3 verts\n     3 normals\n     4 texst 0\n     5 texst 1\n"},
        // Other channels are passed over whole; the lists after them count.
        {v + f + uv + "*MESH_MAPPINGCHANNEL 3 {\n" + tvertList(7) + "}\n" + n,
         "mapping channel: 2\nWARNING: too many mapping channels: 2\n     3 verts\n     3 normals\n     3 texst 0\n"
         "     0 texst 1\n"},
        {v + f + uv + "*MESH_MAPPINGCHANNEL -2147483648 {\n" + tvertList(7) + "}\n" + n,  // the number - 1 saturates
         "mapping channel: -2147483648\n     3 verts\n     3 normals\n     3 texst 0\n     0 texst 1\n"},
        // A count of 0 is an empty object only while the others are 0 too.
        {"*MESH_NUMVERTEX 0\n*MESH_NUMFACES 1", "ERROR: invalid number of vertices: 0\n"},
        {"*MESH_NUMFACES 1\n*MESH_NUMVERTEX 0", "ERROR: invalid number of vertices: 0\n"},
        // A normal is shared while its vertex repeats it: P P P, P Q P, a difference of 1e-9 but not 1.1e-9.
        {normals("0 0 0 1", "0 0 0 1", "0 0 0 1"), "     3 verts\n     1 normals\n"},
        {normals("0 0 0 1", "0 0 1 0", "0 0 0 1"), "     3 verts\n     3 normals\n"},
        {normals("2 0 0 1", "1 0 0 1", "2 0 0 1"), "     3 verts\n     2 normals\n"},
        {normals("0 0 0 0", "0 1e-9 0 0", "0 0 1.1e-9 0"), "     3 verts\n     2 normals\n"},
        {normals("0 0 0 1", "3 0 0 1", "0 0 0 1"),
         "ERROR: line 14: *MESH_VERTEXNORMAL names vertex 3, but there are 3 vertices\n"},
        {v + faceList({{0, 1, 3, 0}}) + uv + n, "ERROR: face 0 corner C: vertex 3 is missing (3 vertices)\n"},
        {v + faceList({{0, -1, 2, 0}}) + uv + n, "ERROR: face 0 corner B: vertex -1 is missing (3 vertices)\n"},
        {v + f + uv, "normals computed from smoothing groups: 3\n"},  // none in the file
        {v + f + tvertList(2) + tfaceList(kOne) + n,
         "ERROR: face 0 corner C: texture vertex 2 of channel 0 is missing (2 texture vertices)\n"},
        {v + f + uv + "*MESH_MAPPINGCHANNEL 2 {\n" + tvertList(2) + tfaceList(kOne) + "}\n" + n,
         "ERROR: face 0 corner C: texture vertex 2 of channel 1 is missing (2 texture vertices)\n"},
        {v + f + uv + n + "*MESH_NUMFACES 2", "ERROR: 2 faces declared, but the face list holds 1\n"},
    };
    for (const std::string& materials : {std::string(), kMaterials})
        for (const auto& c : cases) {
            Read read(materials + object("*MESH {\n" + c.first + "\n}\n", 0));
            const std::string log = logFrom(c.second.substr(0, c.second.find('\n')));
            const bool rejected = c.second.find("ERROR") != std::string::npos;
            EXPECT_TRUE(rejected ? log == c.second && !read.result : startsWith(log, c.second)) << c.first << log;
        }
    // With submaterials a face is named by its number in the file; faces that no subset takes go unchecked.
    for (int c : {9, 2}) {
        Read read(kMaterials + object("*MESH {\n" + v + faceList({{0, 1, c, 1}, kOne[0], {9, 9, 9, 7}}) + tvertList(3) +
                                          normalsBlock(Faces(3, kOne[0])) + "}\n", 1));
        EXPECT_EQ(c == 2 ? "" : "ERROR: face 0 corner C: vertex 9 is missing (3 vertices)", lastError());
    }
}

// Vertex v's normal, the same in both layouts: (v / 8, 0.5, 1).
std::string vertexNormal(int v) { return str(v) + " " + std::to_string(v / 8.0) + " 0.5 1.0\n"; }

// As q3map2 lists them: every face normal, then one normal per vertex in the given order.
std::string normalsApart(size_t faces, const std::vector<int>& vertices) {
    std::string t = "*MESH_NORMALS {\n";
    for (size_t i = 0; i < faces; ++i) t += "*MESH_FACENORMAL " + str((int)i) + " 0.0 0.0 1.0\n";
    for (int v : vertices) t += "*MESH_VERTEXNORMAL " + vertexNormal(v);
    return t + "}\n";
}

// As 3ds max lists them: after each face normal the normals of its corners.
std::string normalsInterleaved(const Faces& faces) {
    std::string t = "*MESH_NORMALS {\n";
    for (size_t i = 0; i < faces.size(); ++i) {
        t += "*MESH_FACENORMAL " + str((int)i) + " 0.0 0.0 1.0\n";
        for (int v : {faces[i].a, faces[i].b, faces[i].c}) t += "*MESH_VERTEXNORMAL " + vertexNormal(v);
    }
    return t + "}\n";
}

std::string packOf(Mesh* head, uint32_t options) {
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, head, options);
    out.flush();
    return std::string(stream.bytes.begin(), stream.bytes.end());
}

// Normals listed apart give the packs, plain and welded, that the same normals listed per corner give: before or
// after the face list, in any vertex order, with or without the colon after the face number, regrouped by
// submaterial or not. Of two normals blocks the last counts, whichever its layout.
TEST(Reader, NormalsListedApart) {
    const Faces faces = {{0, 1, 2, 1}, {1, 2, 3, 0}, {4, 3, 2, 1}, {5, 4, 0, 1}};
    const std::vector<int> inOrder = {0, 1, 2, 3, 4, 5}, shuffled = {3, 5, 0, 1, 4, 2};
    std::string colonless = faceList(faces);
    for (size_t at; (at = colonless.find(": A:")) != std::string::npos;) colonless.erase(at, 1);
    for (int variant = 0; variant < 16; ++variant) {
        const std::string f = variant & 1 ? colonless : faceList(faces);
        const std::string apart = normalsApart(faces.size(), variant & 2 ? shuffled : inOrder);
        const std::string stale = variant & 8 ? normalsInterleaved(Faces(4, {5, 5, 5, 0})) : "";
        const bool before = variant & 4;
        const int ref = variant & 8 ? 1 : 0;
        const std::string uv = tvertList(6) + tfaceList(faces), v = vertexList(6) + "*MESH_NUMFACES 4\n";
        Read listed(kMaterials + object("*MESH {\n" + v + (before ? stale + apart + f : f + stale + apart) + uv + "}\n",
                                        ref));
        ASSERT_EQ(1, listed.result) << variant << logText();
        EXPECT_TRUE(logText().find("normals listed per vertex\n     6 verts\n     6 normals\n") != std::string::npos)
            << logText();
        const Mesh& m = *listed.scene.head;
        for (int32_t i = 0; i < m.faces.count; ++i)
            for (const FaceCorner& c : m.faces[i].corners) EXPECT_EQ(c.vertex / 8.0f, m.normals[c.normal].x);
        Read perCorner(kMaterials + object("*MESH {\n" + v + f + normalsInterleaved(faces) + uv + "}\n", ref));
        ASSERT_EQ(1, perCorner.result);
        EXPECT_TRUE(packOf(listed.scene.head, 0) == packOf(perCorner.scene.head, 0)) << variant;
        EXPECT_TRUE(packOf(listed.scene.head, kOptionWeld) == packOf(perCorner.scene.head, kOptionWeld)) << variant;
        // An apart block followed by one per corner: the later one counts.
        std::string other = apart;
        for (size_t at; (at = other.find(" 0.5 ")) != std::string::npos;) other.replace(at, 5, " 0.7 ");
        Read later(kMaterials + object("*MESH {\n" + v + f + other + normalsInterleaved(faces) + uv + "}\n", ref));
        EXPECT_TRUE(logText().find("normals listed per vertex\n     6 verts\n    12 normals\n") != std::string::npos);
        EXPECT_TRUE(packOf(later.scene.head, 0) == packOf(perCorner.scene.head, 0)) << variant;
    }
}

// An apart list that leaves a vertex without its normal, or gives one twice, or whose face normals do not match the
// face count, is refused saying so; nothing is read outside the lists.
TEST(Reader, NormalsListedApartThatDoNotFit) {
    MissingRefSeam seam;
    const Faces two = {{0, 1, 2, 0}, {2, 1, 3, 0}};
    const std::string v = vertexList(4), f = faceList(two), uv = tvertList(4) + tfaceList(two);
    const std::string faceNormals = "*MESH_FACENORMAL 0 0 0 1\n*MESH_FACENORMAL 1 0 0 1\n";
    const std::pair<std::string, std::string> cases[] = {
        {normalsApart(2, {0, 1, 2, 2, 3}), "line 18: a second *MESH_VERTEXNORMAL for vertex 2"},
        {normalsApart(2, {0, 1, 2, 3, 4}), "line 19: *MESH_VERTEXNORMAL names vertex 4, but there are 4 vertices"},
        {normalsApart(2, {0, 1, 2, 3, -1}), "line 19: *MESH_VERTEXNORMAL names vertex -1, but there are 4 vertices"},
        {normalsApart(2, {3, 0, 2}), "line 18: *MESH_NORMALS gives no normal for 1 of 4 vertices, the first 1"},
        {normalsApart(2, {}), "line 15: *MESH_NORMALS gives no normal for 4 of 4 vertices, the first 0"},
        {normalsApart(3, {0, 1, 2, 3}), "line 15: expected *MESH_VERTEXNORMAL or \"}\", found \"*MESH_FACENORMAL\""},
        {"*MESH_NORMALS {\n" + faceNormals + "*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_FACENORMAL 2 0 0 1\n}\n",
         "line 16: expected *MESH_VERTEXNORMAL or \"}\", found \"*MESH_FACENORMAL\""},
        {"*MESH_NORMALS {\n" + faceNormals + "*MESH_VERTEXNORMAL 0 0 0 1 7\n}\n",
         "line 15: expected *MESH_VERTEXNORMAL or \"}\", found \"7\""},
        {"*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_FACENORMAL 2 0 0 1\n}\n",
         "line 14: expected *MESH_FACENORMAL 1, found \"2\""},
    };
    for (const auto& c : cases) {
        Read read(kMaterials + object("*MESH {\n" + v + "*MESH_NUMFACES 2\n" + c.first + f + uv + "}\n", 0));
        EXPECT_EQ("ERROR: " + c.second, lastError()) << c.first;
        EXPECT_EQ(0, read.result);
    }
    // The input ends inside the block.
    const std::string head = kMaterials + "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"Box01\" }\n*MESH {\n" + v + "*MESH_NUMFACES 2\n" +
                             "*MESH_NORMALS {\n" + faceNormals;
    for (const auto& c : {std::make_pair(std::string("*MESH_VERTEXNORMAL 0 0 0"),
                                         "line 15: expected the values of *MESH_VERTEXNORMAL 0, at the end of the input"),
                          std::make_pair(std::string("*MESH_VERTEXNORMAL 0 0 0 1\n"),
                                         "line 16: expected *MESH_VERTEXNORMAL or \"}\", at the end of the input")}) {
        Read cut(head + c.first);
        EXPECT_EQ("ERROR: " + std::string(c.second), lastError()) << c.first;
    }
    // One face: a second face normal is one too many. (A single face followed by its vertex normals reads as per
    // corner, the layout cannot be told apart there.)
    Read one(kMaterials + object("*MESH {\n" + vertexList(3) + faceList(kOne) + tvertList(3) + tfaceList(kOne) +
                                 normalsApart(2, {0, 1, 2}) + "}\n", 0));
    EXPECT_EQ("ERROR: line 26: *MESH_NORMALS holds more face normals than *MESH_NUMFACES 1", lastError());
    // Face normals numbered out of order, read whole or token by token.
    for (bool lineScans : {true, false}) {
        Read skipped(kMaterials + object("*MESH {\n" + v + "*MESH_NUMFACES 3\n*MESH_NORMALS {\n" + faceNormals +
                                         "*MESH_FACENORMAL 3 0 0 1\n" + std::string(300, ' ') + "}\n", 0),
                     lineScans);
        EXPECT_EQ("ERROR: line 15: expected *MESH_FACENORMAL 2, found \"3\"", lastError());
    }
    // A face that names a vertex beyond the list takes a normal beyond it too: the face is refused, not read.
    Read beyond(kMaterials + object("*MESH {\n" + v + faceList({{0, 1, 4, 0}, {2, 1, 3, 0}}) + uv +
                                    normalsApart(2, {0, 1, 2, 3}) + "}\n", 0));
    EXPECT_EQ("ERROR: face 0 corner C: vertex 4 is missing (4 vertices)", lastError());
    // A vertex count read again after the block leaves normals for fewer vertices.
    Read shrunk(kMaterials + object("*MESH {\n" + vertexList(2) + "*MESH_NUMFACES 2\n" + normalsApart(2, {0, 1}) +
                                    v + f + uv + "}\n", 0));
    EXPECT_EQ("ERROR: face 0 corner C: normal 2 is missing (2 normals)", lastError());
}

// Without a material reference the run ends with status -1, and app.log still gets the message and the exit lines.
TEST(Reader, MissingReferenceEndsTheRun) {
    const std::string noRef = kMaterials + "*GEOMOBJECT {\n" + meshBlock(4, kFourFaces) + "}\n";
    for (const std::string& text : {noRef, kMaterials + object("", -1), kMaterials + "*GEOMOBJECT {\n"}) {
        MissingRefSeam seam;
        Read read(text);
        EXPECT_TRUE(seam.calls == 1 && !read.result);
        EXPECT_EQ("ERROR: no MATERIAL_REF!\n", logFrom("ERROR"));
    }
    ScratchDir dir;
    writeBytes(dir / "noref.ase", noRef);
    EXPECT_EQ(255, runProgram(TARVOLT_BINARY, dir.path, {"noref.ase"}, true).exitCode);
    const std::regex lastLines("\nERROR: no MATERIAL_REF!\nallocated: .*\nEXIT\n$");
    EXPECT_TRUE(std::regex_search(readText(dir / "app.log"), lastLines)) << readText(dir / "app.log");
}

// A mapped input cut short after it was opened: the lost pages fault, read as zeros, and the read, on one thread or
// several, ends through its usual paths and then fails saying so. The next read of the same file knows nothing of it.
TEST(Reader, InputThatShrinksWhileMappedFailsSayingSo) {
#if defined(_WIN32)
    GTEST_SKIP() << "a mapped file cannot be shortened";
#else
    ensureServices();
    std::string text = kMaterials;
    while (text.size() < (1u << 20)) text += object(meshBlock(4, kFourFaces), 0);
    ScratchDir dir;
    const std::string path = dir / "cut.ase";
    for (int threads : {1, 3}) {
        writeBytes(path, text);
        Stream* stream = gFileSystem->openRead(path.c_str());
        ASSERT_TRUE(stream != nullptr);
        std::filesystem::resize_file(path, 5000);  // the mapping still spans the whole length
        resetLog();
        AseReader reader;
        reader.options.threads = threads;
        reader.options.minimumPartBytes = 1 << 16;
        Scene scene;
        EXPECT_EQ(0, reader.readScene(&scene, stream, path.c_str()));
        EXPECT_STREQ("the input file shrank while it was read", reader.error.message);
        EXPECT_EQ("ERROR: the input file shrank while it was read", lastError());
        EXPECT_TRUE(logText().find("mesh: Box01\n") != std::string::npos);  // the first page was read as it was
        while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh;
        writeBytes(path, text);
        Read whole(text);
        EXPECT_EQ(1, whole.result);
        resetLog();
        Scene again;
        EXPECT_EQ(1, AseReader().readScene(&again, path.c_str()));
        EXPECT_EQ("", lastError());
        while (Mesh* mesh = again.head) again.head = mesh->next, delete mesh;
    }
#endif
}

// Whether text was read; if so, every face index must name an existing entry.
bool readSoundly(const std::string& text, const std::string& what) {
    MissingRefSeam seam;  // an object without a reference fails instead of exiting
    Read read(text);
    EXPECT_TRUE(read.result || lastError() != "") << what << " rejected without a reason";
    auto in = [](int32_t index, int32_t count) { return index >= 0 && index < count; };
    for (const Mesh* m = read.scene.head; m; m = m->next)
        for (int32_t f = 0; f < m->faces.count; ++f)
            for (const FaceCorner& c : m->faces[f].corners)
                EXPECT_TRUE(in(c.vertex, m->vertices.count) && in(c.normal, m->normals.count) &&
                            in(c.tex[0], m->mapChannels[0].count) &&
                            (m->mapChannels[1].count == 0 || in(c.tex[1], m->mapChannels[1].count)))
                    << what << " face " << f;
    return read.result;
}

// Every corpus file is read soundly or rejected with a reason; so are 100 cuts of a small file rich in content.
TEST(Reader, Corpus) {
    if (!std::filesystem::is_directory(TARVOLT_CORPUS)) GTEST_SKIP() << "no corpus at " TARVOLT_CORPUS;
    std::string chosen;
    for (const auto& entry : std::filesystem::directory_iterator(TARVOLT_CORPUS)) {
        const std::string path = entry.path().string(), bytes = readBytes(path);
        auto has = [&](const char* keyword) { return bytes.find(keyword) != std::string::npos; };
        if (readSoundly(bytes, path) && has("*SUBMATERIAL") && has("*MESH_CVERTLIST") &&
            has("*MESH_VERTEXNORMAL") && (chosen.empty() || bytes.size() < chosen.size()))
            chosen = bytes;
    }
    ASSERT_FALSE(chosen.empty()) << "no corpus file is read and has submaterials, vertex colours and normals";
    for (size_t k = 0; k < 100; ++k) readSoundly(chosen.substr(0, chosen.size() * k / 100), "cut " + std::to_string(k));
}

// Corpus files that list their normals apart are read, each corner with the normal the file gives its vertex; a
// file whose face names a missing vertex is still refused.
TEST(Reader, CorpusNormalsListedApart) {
    if (!std::filesystem::is_directory(TARVOLT_CORPUS)) GTEST_SKIP() << "no corpus at " TARVOLT_CORPUS;
    for (const char* name : {"gtkradiant_wedge_steep.ase", "trenchbroom_no_scene_directive_wedge_45.ase",
                             "unv-station15_tree01a.ase"}) {
        const std::string bytes = readBytes(std::string(TARVOLT_CORPUS "/") + name);
        Read read(bytes);
        ASSERT_EQ(1, read.result) << name << lastError();
        // The objects' vertex normals as the file lists them, the last object's first, as the Scene runs.
        std::vector<std::vector<Vec3>> listed;
        const std::regex entry("\\*MESH_VERTEXNORMAL\\s+(\\d+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)");
        for (size_t at = bytes.find("*GEOMOBJECT"); at != std::string::npos;) {
            const size_t next = bytes.find("*GEOMOBJECT", at + 1);
            const std::string object = bytes.substr(at, next - at);
            listed.insert(listed.begin(), std::vector<Vec3>());
            for (std::sregex_iterator i(object.begin(), object.end(), entry), end; i != end; ++i) {
                std::vector<Vec3>& normals = listed.front();
                normals.resize(std::max(normals.size(), (size_t)std::stoi((*i)[1]) + 1));
                normals[std::stoi((*i)[1])] = {std::stof((*i)[2]), std::stof((*i)[3]), std::stof((*i)[4])};
            }
            at = next;
        }
        size_t k = 0;
        for (const Mesh* m = read.scene.head; m; m = m->next, ++k) {
            ASSERT_LT(k, listed.size());
            ASSERT_EQ((int32_t)listed[k].size(), m->vertices.count) << name;
            for (int32_t f = 0; f < m->faces.count; ++f)
                for (const FaceCorner& c : m->faces[f].corners) {
                    const Vec3 n = m->normals[c.normal], want = listed[k][c.vertex];
                    EXPECT_TRUE(n.x == want.x && n.y == want.y && n.z == want.z) << name << " face " << f;
                }
        }
        EXPECT_EQ(listed.size(), k) << name;
    }
    // Face 1 names vertex 5 of 4, and the file has no texture coordinates: the first fault found refuses it.
    Read invalid(readBytes(TARVOLT_CORPUS "/trenchbroom_invalid_index_out_of_bounds_wedge_45_no_uv.ase"));
    EXPECT_EQ(0, invalid.result);
    EXPECT_EQ("ERROR: geometry object \"mat0model0surf0\" has no texture coordinates", lastError());
}

}  // namespace
