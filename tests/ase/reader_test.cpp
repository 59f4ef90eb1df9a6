// The reader: materials and their Log, subsets, the mesh block and its faults, normals in both layouts.
#include "ase/ase_fixture.h"
#include "platform/log.h"
#include "writer/pack_bytes.h"

#include "support/test_support.h"
#include <gtest/gtest.h>

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
std::string layout(const Mesh& m) {
    std::string out;
    for (int32_t s = 0; s < m.subsets.count; ++s) out += str(m.subsets[s].firstIndex) + "+" + str(m.subsets[s].triangleCount) + " ";
    for (int32_t f = 0; f < m.faces.count; ++f) {
        out += "| " + str(m.faces[f].corners[0].vertex);
        for (const FaceCorner& c : m.faces[f].corners) out += c.normal == c.vertex && c.tex[0] == c.vertex ? "" : "!";
    }
    return out;
}

// The last diffuse bitmap counts, other maps' none, its name without folders and extension (a backslash wins over a
// later slash); only direct submaterials are listed; 32 levels of *SUBMATERIAL pass, the 33rd (on line 35) fails.
TEST(Reader, Materials) {
    Read read("*MATERIAL_LIST {\n*MATERIAL 5 { *MAP_AMBIENT { *BITMAP \"a.tga\" } *MAP_DIFFUSE { *BITMAP \"b.tga\" }\n"
              "*MAP_DIFFUSE { *BITMAP \"C:\\maps\\c.tar.bmp\" } }\n*MATERIAL 1 { *SUBMATERIAL 7 { *MAP_DIFFUSE {\n"
              "*BITMAP \"C:\\maps/s.tga\" } *SUBMATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"d\" } } } *SUBMATERIAL 3 { } }\n}\n");
    EXPECT_EQ("material[0]: c.tar\nmaterial[1]: (null)\n\tSubMat[0]: maps/s\n\tSubMat[1]: (null)\ndone!\n", logText());
    for (int levels : {32, 33}) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) open += "*SUBMATERIAL 0 {\n", close += "}\n";
        Read deep("*MATERIAL_LIST {\n*MATERIAL 0 {\n" + open + "*MAP_DIFFUSE { *BITMAP \"d\" }\n" + close + "}\n}\n");
        EXPECT_TRUE(levels == 32 ? logText() == "material[0]: (null)\n\tSubMat[0]: (null)\ndone!\n"
                                 : logText().rfind("ERROR: line 35: ", 0) == 0 && !deep.result) << logText();
    }
}

// However many lists and however large the table, the Log, wrapped as it is, ends up as the reader's loop as first
// written leaves it, logging every line of every list.
TEST(Reader, MaterialLogAsIfEveryLineWereLogged) {
    Rng rng{5};
    const std::string failures[] = {"*MATERIAL_LIST x\n", "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP",
                                    "*MATERIAL_LIST {\n*MATERIAL 0 \"" + std::string(3000, 'q') + "\"\n"};
    const int sizes[] = {1, 37, 400, 1500};
    for (int round = 0; round < 24; ++round) {
        std::string text = materialList({"first"});
        for (int i = 0, lists = 1 + (int)rng.below(16); i < lists; ++i) {
            std::vector<std::string> entries(rng.below(3) ? sizes[round / 6] : 0);
            for (std::string& e : entries)  // some without texture, some with submaterials
                e = std::string(rng.below(6) ? 1 + rng.below(40) : 0, (char)('a' + rng.below(26))) +
                    (rng.below(6) ? "" : "|" + std::string(rng.below(200), 'z') + "|");
            text += materialList(entries) + (round % 2 && !rng.below(4) ? object("", 0) : "");
        }
        if (round % 6 >= 3) text += failures[round % 6 - 3];
        resetLog();
        Tokenizer tokenizer;
        tokenizer.setDelimiters("{}:");
        tokenizer.open(new (std::nothrow) BytesStream(text));
        MaterialTable table;
        Mesh mesh;
        ReadContext context;
        int result = 1;
        while (result && tokenizer.nextToken()) {
            if (tokenizer.is("*GEOMOBJECT") && (result = parseGeomObject(context, &mesh, tokenizer, table)))
                gLog->print("mesh: %s\n", mesh.name.printable());
            if (!result || !tokenizer.is("*MATERIAL_LIST")) continue;
            result = parseMaterialListBlock(context, tokenizer, table);
            for (int32_t m = 0; result && m < table.count; ++m) {
                gLog->print("material[%d]: %s\n", m, table[m].textureName.printable());
                for (int32_t j = 0; j < table[m].subMaterials.count; ++j)
                    gLog->print("\tSubMat[%d]: %s\n", j, table[m].subMaterials[j].textureName.printable());
            }
        }
        if (result) gLog->print("done!\n");
        destroyMaterials(table);
        const std::string expected = logText() + str(gLog->mark().used) + " " + str(gLog->mark().pending);
        Read read(text);
        EXPECT_EQ(result, read.result);
        EXPECT_TRUE(expected == logText() + str(gLog->mark().used) + " " + str(gLog->mark().pending)) << round;
    }
}

// Faces grouped by submaterial, file order kept in each, other ids dropped; unknown blocks, nested ones too, are
// skipped by brace depth.
TEST(Reader, Subsets) {
    std::string mesh = meshBlock(4, kFourFaces);
    mesh.insert(8, "*MESH_CVERTLIST {\n*MESH_VERTCOL 0 { 1.0 } 1.0 1.0\n}\n");
    Read read(kMaterials + object("*TM_ANIMATION {\n*CONTROL_POS_TRACK {\n*SAMPLE 0\n}\n}\n" + mesh, 1) +
              geomObject("Box02", "*MATERIAL_REF 0\n"));
    ASSERT_STREQ("Box02", read.scene.head->name.data);  // the Scene runs in reverse reading order
    ASSERT_EQ("0+2 6+1 | 0| 2| 1", layout(*read.scene.head->next));  // face 3 (id 2) is gone
    const Mesh& m = *read.scene.head->next;
    EXPECT_TRUE(m.vertices[2].y == 4 && m.vertices[3].z == 9 && m.mapChannels[0][1].u == 0.125f &&
                m.mapChannels[0][1].v == 0.875f && m.faces[2].normal.z == 1 && m.normals[1].x == 0.125f);
    EXPECT_EQ("     4 verts\n     4 normals\n     4 texst 0\n     0 texst 1\n     4 tris\nmatref=1\n"
              "\t[0] 0 2 \"t0\"\n\t[1] 6 1 \"t1\"\nfaces=4, numTris=3, Tris=4, tidx=0\nmesh: Box01\nmatref=0\n"
              "\t[0] 0 0 \"wood\"\nmesh: Box02\ndone!\n",
              logFrom("     4 verts"));
}

// Each mesh body read after no material list (an invalid reference) and after one, by lines and by tokens: the Log
// from the expected text's first line on is that text when it holds an ERROR, and starts with it otherwise.
TEST(Reader, MeshBlock) {
    std::string v = vertexList(3), n = normalsBlock(kOne), f = faceList(kOne), uv = tvertList(3) + tfaceList(kOne);
    const Faces two = {{0, 1, 2, 0}, {2, 1, 3, 0}};
    const std::string v4 = vertexList(4) + "*MESH_NUMFACES 2\n", uv4 = tvertList(4) + tfaceList(two);
    const std::string faceNormals = "*MESH_FACENORMAL 0 0 0 1\n*MESH_FACENORMAL 1 0 0 1\n";
    auto apart = [&](size_t n, const std::vector<int>& vs) { return normalsApart(n, vs) + faceList(two) + uv4; };
    auto normals = [&](const std::string& a, const std::string& b, const std::string& c) {  // "vertex x y z" each
        return v + "*MESH_NUMFACES 1\n*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL " + a +
               "\n*MESH_VERTEXNORMAL " + b + "\n*MESH_VERTEXNORMAL " + c + "\n}";
    };
    const std::pair<std::string, std::string> cases[] = {
        {"*MESH_NUMVERTEX 4194304", "4194304 verts\n"},
        {"*MESH_NUMVERTEX -1", "ERROR: invalid number of vertices: -1\n"},
        {"*MESH_NUMFACES 21845", " 21845 tris\n"},
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
        // Normals listed apart that leave a vertex without its normal, give one twice, or whose face normals do
        // not match the face count; nothing is read outside the lists.
        {v4 + apart(2, {0, 1, 2, 2, 3}), "ERROR: line 18: a second *MESH_VERTEXNORMAL for vertex 2\n"},
        {v4 + apart(2, {0, 1, 2, 3, 4}), "ERROR: line 19: *MESH_VERTEXNORMAL names vertex 4, but there are 4 vertices\n"},
        {v4 + apart(2, {0, 1, 2, 3, -1}),
         "ERROR: line 19: *MESH_VERTEXNORMAL names vertex -1, but there are 4 vertices\n"},
        {v4 + apart(2, {3, 0, 2}), "ERROR: line 18: *MESH_NORMALS gives no normal for 1 of 4 vertices, the first 1\n"},
        {v4 + apart(2, {}), "ERROR: line 15: *MESH_NORMALS gives no normal for 4 of 4 vertices, the first 0\n"},
        {v4 + apart(3, {0, 1, 2, 3}),
         "ERROR: line 15: expected *MESH_VERTEXNORMAL or \"}\", found \"*MESH_FACENORMAL\"\n"},
        {v4 + "*MESH_NORMALS {\n" + faceNormals + "*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_FACENORMAL 2 0 0 1\n}",
         "ERROR: line 16: expected *MESH_VERTEXNORMAL or \"}\", found \"*MESH_FACENORMAL\"\n"},
        {v4 + "*MESH_NORMALS {\n" + faceNormals + "*MESH_VERTEXNORMAL 0 0 0 1 7\n}",
         "ERROR: line 15: expected *MESH_VERTEXNORMAL or \"}\", found \"7\"\n"},
        {v4 + "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_FACENORMAL 2 0 0 1\n}",
         "ERROR: line 14: expected *MESH_FACENORMAL 1, found \"2\"\n"},
        {vertexList(4) + "*MESH_NUMFACES 3\n*MESH_NORMALS {\n" + faceNormals + "*MESH_FACENORMAL 3 0 0 1\n" +
             std::string(300, ' ') + "}",
         "ERROR: line 15: expected *MESH_FACENORMAL 2, found \"3\"\n"},
        {v + f + uv + apart(2, {0, 1, 2}),  // one face: a second face normal is one too many
         "ERROR: line 26: *MESH_NORMALS holds more face normals than *MESH_NUMFACES 1\n"},
        // A face beyond the vertices takes a normal beyond them too: the face is refused, not read.
        {vertexList(4) + faceList({{0, 1, 4, 0}, {2, 1, 3, 0}}) + uv4 + normalsApart(2, {0, 1, 2, 3}),
         "ERROR: face 0 corner C: vertex 4 is missing (4 vertices)\n"},
        // A vertex count read again after the block leaves normals for fewer vertices.
        {vertexList(2) + "*MESH_NUMFACES 2\n" + normalsApart(2, {0, 1}) + vertexList(4) + faceList(two) + uv4,
         "ERROR: face 0 corner C: normal 2 is missing (2 normals)\n"},
    };
    for (int pass = 0; pass < 3; ++pass)  // no materials, materials, materials read token by token
        for (const auto& c : cases) {
            Read read((pass ? kMaterials : "") + object("*MESH {\n" + c.first + "\n}\n", 0), pass < 2);
            const std::string log = logFrom(c.second.substr(0, c.second.find('\n')));
            const bool rejected = c.second.find("ERROR") != std::string::npos;
            EXPECT_TRUE(rejected ? log == c.second && !read.result : log.rfind(c.second, 0) == 0) << c.first << log;
        }
    // With submaterials a face is named by its number in the file; faces that no subset takes go unchecked.
    for (int c : {9, 2}) {
        Read read(kMaterials + object("*MESH {\n" + v + faceList({{0, 1, c, 1}, kOne[0], {9, 9, 9, 7}}) + tvertList(3) +
                                          normalsBlock(Faces(3, kOne[0])) + "}\n", 1));
        EXPECT_EQ(c == 2 ? "" : "ERROR: face 0 corner C: vertex 9 is missing (3 vertices)", lastError());
    }
}

// Normals listed apart give the packs, plain and welded, that the same normals listed per corner give: before or
// after the face list, in any vertex order, with or without the colon after the face number, regrouped by
// submaterial or not. Of two normals blocks the last counts, whichever its layout.
TEST(Reader, NormalsListedApart) {
    const Faces faces = {{0, 1, 2, 1}, {1, 2, 3, 0}, {4, 3, 2, 1}, {5, 4, 0, 1}};
    std::string colonless = faceList(faces);
    for (size_t at; (at = colonless.find(": A:")) != std::string::npos;) colonless.erase(at, 1);
    const std::string uv = tvertList(6) + tfaceList(faces), v = vertexList(6) + "*MESH_NUMFACES 4\n";
    for (int variant = 0; variant < 16; ++variant) {
        const std::string f = variant & 1 ? colonless : faceList(faces);
        const std::string apart = normalsApart(4, variant & 2 ? std::vector<int>{3, 5, 0, 1, 4, 2}
                                                              : std::vector<int>{0, 1, 2, 3, 4, 5});
        const std::string stale = variant & 8 ? normalsBlock(Faces(4, {5, 5, 5, 0})) : "";
        Read listed(kMaterials + object("*MESH {\n" + v + (variant & 4 ? stale + apart + f : f + stale + apart) + uv +
                                        "}\n", variant >> 3));
        ASSERT_EQ(1, listed.result) << variant << logText();
        EXPECT_NE(std::string::npos, logText().find("normals listed per vertex\n     6 verts\n     6 normals\n"));
        Read perCorner(kMaterials + object("*MESH {\n" + v + f + normalsBlock(faces) + uv + "}\n", variant >> 3));
        ASSERT_EQ(1, perCorner.result);
        EXPECT_TRUE(packBytes(listed.scene.head, 0) == packBytes(perCorner.scene.head, 0)) << variant;
        EXPECT_TRUE(packBytes(listed.scene.head, kOptionWeld) == packBytes(perCorner.scene.head, kOptionWeld)) << variant;
        std::string other = apart;  // an apart block followed by one per corner: the later one counts
        for (size_t at; (at = other.find(" 0.5 ")) != std::string::npos;) other.replace(at, 5, " 0.7 ");
        Read later(kMaterials + object("*MESH {\n" + v + f + other + normalsBlock(faces) + uv + "}\n", variant >> 3));
        EXPECT_NE(std::string::npos, logText().find("normals listed per vertex\n     6 verts\n    12 normals\n"));
        EXPECT_TRUE(packBytes(later.scene.head, 0) == packBytes(perCorner.scene.head, 0)) << variant;
    }
}

// Without a material reference the run ends (the run's exit and app.log: run_test.cpp).
TEST(Reader, MissingReferenceEndsTheRun) {
    for (const std::string& text : {kMaterials + "*GEOMOBJECT {\n" + meshBlock(4, kFourFaces) + "}\n",
                                    kMaterials + object("", -1), kMaterials + "*GEOMOBJECT {\n"}) {
        MissingRefSeam seam;
        Read read(text);
        EXPECT_TRUE(seam.calls == 1 && !read.result);
        EXPECT_EQ("ERROR: no MATERIAL_REF!\n", logFrom("ERROR"));
    }
}

}  // namespace
