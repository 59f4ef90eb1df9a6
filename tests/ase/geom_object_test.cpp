// Geometry objects: names, the Scene's order, material references, subsets,
// the check of every face that reaches the writer, and the exit on a missing
// material reference.
#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// Material 0 has a texture, 1 two submaterials, 2 three, 3 nothing.
const std::string kMaterials = materialList({"wood.tga", "t0.tga|t1.tga", "t0.tga|t1.tga|t2.tga", ""});

// The faces of the subset example: material ids 0, 1, 0, 2.
const Faces kFourFaces = {{0, 1, 2, 0}, {1, 2, 3, 1}, {2, 3, 0, 0}, {3, 0, 1, 2}};

std::string object(const Faces& faces, int materialRef, int vertexCount = 4) {
    return geomObject("Box01", meshBlock(vertexCount, faces) + "*MATERIAL_REF " + str(materialRef) + "\n");
}

// The subsets as "first count name", then each face as "vertex/normal/
// texture" per corner. The fixture shares normals per vertex and its texture
// faces repeat the vertices, so a sound face reads "v/v/v" at every corner.
Lines describe(const Mesh& mesh) {
    Lines out;
    for (int32_t s = 0; s < mesh.subsets.count; ++s)
        out.push_back(str(mesh.subsets[s].firstIndex) + " " + str(mesh.subsets[s].triangleCount) + " " +
                      mesh.subsets[s].textureName.printable());
    for (int32_t f = 0; f < mesh.faces.count; ++f) {
        std::string face;
        for (const FaceCorner& c : mesh.faces[f].corners)
            face += str(c.vertex) + "/" + str(c.normal) + "/" + str(c.tex[0]) + " ";
        out.push_back(face);
    }
    return out;
}

TEST(GeomObject, SubsetsBySubmaterial) {
    Read read(kMaterials + object(kFourFaces, 1));
    ASSERT_EQ(1, read.result);
    const Mesh& mesh = *read.scene.head;
    // Faces 0, 2, 1; face 3 (id 2) is gone.
    const Lines regrouped = {"0 2 t0", "6 1 t1", "0/0/0 1/1/1 2/2/2 ", "2/2/2 3/3/3 0/0/0 ", "1/1/1 2/2/2 3/3/3 "};
    EXPECT_EQ(regrouped, describe(mesh));
    EXPECT_TRUE(meshIsSound(mesh));
    EXPECT_EQ((Lines{"     4 verts", "     4 normals", "     4 texst 0", "     0 texst 1", "     4 tris",
                     "matref=1", "\t[0] 0 2 \"t0\"", "\t[1] 6 1 \"t1\"", "faces=4, numTris=3, Tris=4, tidx=0",
                     "mesh: Box01", "done!"}),
              logLines("     4 verts"));

    // The reference may come before the mesh.
    Read early(kMaterials + geomObject("Box01", "*MATERIAL_REF 1\n" + meshBlock(4, kFourFaces)));
    ASSERT_EQ(1, early.result);
    EXPECT_EQ(regrouped, describe(*early.scene.head));

    // A submaterial that no face uses gets no subset and no line.
    Read gap(kMaterials + object({{0, 1, 2, 0}, {0, 1, 2, 2}, {2, 1, 0, 0}}, 2, 3));
    ASSERT_EQ(1, gap.result);
    EXPECT_TRUE(meshIsSound(*gap.scene.head));
    EXPECT_EQ((Lines{"matref=2", "\t[0] 0 2 \"t0\"", "\t[2] 6 1 \"t2\"", "faces=3, numTris=3, Tris=3, tidx=0",
                     "mesh: Box01", "done!"}),
              logLines("matref=2"));
}

TEST(GeomObject, MaterialWithoutSubmaterialsTakesAllFacesInOrder) {
    Read read(kMaterials + object({{0, 1, 2, 5}, {2, 1, 0, 1}}, 0, 3));
    ASSERT_EQ(1, read.result);
    EXPECT_EQ((Lines{"0 2 wood", "0/0/0 1/1/1 2/2/2 ", "2/2/2 1/1/1 0/0/0 "}), describe(*read.scene.head));
    EXPECT_TRUE(meshIsSound(*read.scene.head));
    // The first number is the face count.
    EXPECT_EQ((Lines{"matref=0", "\t[2] 0 2 \"wood\"", "mesh: Box01", "done!"}), logLines("matref=0"));

    Read untextured(kMaterials + object({{0, 1, 2, 0}}, 3, 3));
    EXPECT_EQ((Lines{"matref=3", "\t[1] 0 1 \"(null)\"", "mesh: Box01", "done!"}), logLines("matref=3"));

    Read noMesh(kMaterials + geomObject("Empty", "*MATERIAL_REF 0\n"));
    ASSERT_EQ(1, noMesh.result);
    EXPECT_EQ((Lines{"0 0 wood"}), describe(*noMesh.scene.head));
}

TEST(GeomObject, InvalidReferenceKeepsFacesInFileOrderWithoutSubsets) {
    Read read(kMaterials + object(kFourFaces, 4));
    ASSERT_EQ(1, read.result);
    EXPECT_EQ((Lines{"0/0/0 1/1/1 2/2/2 ", "1/1/1 2/2/2 3/3/3 ", "2/2/2 3/3/3 0/0/0 ", "3/3/3 0/0/0 1/1/1 "}),
              describe(*read.scene.head));  // no subsets
    EXPECT_EQ((Lines{"matref=4", "ERROR: MATERIAL_REF 4 is invalid", "mesh: Box01", "done!"}),
              logLines("matref=4"));

    // Before any material list every reference is invalid, and each such
    // object is warned about.
    Read first(object(kFourFaces, 0) + kMaterials + object(kFourFaces, 0));
    ASSERT_EQ(1, first.result);
    Lines lines = logLines();
    EXPECT_EQ("WARNING: geomobject encountered, but no materials", lines.at(0));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), lines[0]));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "ERROR: MATERIAL_REF 0 is invalid"));
}

TEST(GeomObject, NamesAndSceneOrder) {
    Read two(kMaterials + object(kFourFaces, 0) + "*GROUP \"g\" {\n" + geomObject("Box02", "*MATERIAL_REF 0\n") +
             "}\n");
    ASSERT_EQ(1, two.result);
    const Mesh* head = two.scene.head;
    ASSERT_TRUE(head && head->next && !head->next->next);
    EXPECT_STREQ("Box02", head->name.data);
    EXPECT_STREQ("Box01", head->next->name.data);
    Lines meshLines;
    for (const std::string& line : logLines())
        if (startsWith(line, "mesh: ")) meshLines.push_back(line);
    EXPECT_EQ((Lines{"mesh: Box01", "mesh: Box02"}), meshLines);

    // The name comes from *NODE_TM only; the last one wins; an empty quoted
    // name delivers nothing, so the next token is taken.
    struct {
        const char* body;
        const char* name;
    } cases[] = {
        {"*NODE_NAME \"Outer\"\n", nullptr},
        {"*NODE_TM { *NODE_NAME \"A\" }\n*NODE_TM { *NODE_NAME \"B\" }\n", "B"},
        {"*NODE_TM { *NODE_NAME \"\" *TM_ROW0 1 0 0 }\n", "*TM_ROW0"},
    };
    for (const auto& c : cases) {
        Read read(kMaterials + "*GEOMOBJECT {\n" + c.body + "*MATERIAL_REF 0\n}\n");
        ASSERT_EQ(1, read.result) << c.body;
        EXPECT_STREQ(c.name, read.scene.head->name.data) << c.body;
        EXPECT_EQ(std::string("mesh: ") + (c.name ? c.name : "(null)"), logLines().rbegin()[1]);
    }

    Read none("*SCENE {\n*SCENE_FRAMESPEED 30\n}\n");
    EXPECT_EQ(1, none.result);
    EXPECT_EQ(nullptr, none.scene.head);
}

TEST(GeomObject, UnknownNestedBlocksAreSkippedWhole) {
    const std::string animation =
        "*TM_ANIMATION {\n*NODE_NAME \"Track\"\n*CONTROL_POS_TRACK {\n*CONTROL_POS_SAMPLE 0 0.0 0.0 0.0\n}\n}\n";
    Read read(kMaterials + geomObject("Box01", meshBlock(4, kFourFaces) + animation + "*MATERIAL_REF 1\n"));
    ASSERT_EQ(1, read.result);
    EXPECT_STREQ("Box01", read.scene.head->name.data);
    EXPECT_EQ(2, read.scene.head->subsets.count);

    // The end of input inside such a block ends the object.
    Read cut(kMaterials + "*GEOMOBJECT {\n*MATERIAL_REF 0\n*TM_ANIMATION { { x\n");
    EXPECT_EQ(1, cut.result);
    EXPECT_NE(nullptr, cut.scene.head);
}

TEST(GeomObject, MissingReferenceEndsTheRun) {
    MissingRefSeam seam;
    const std::string withoutRef[] = {
        kMaterials + geomObject("Box01", meshBlock(4, kFourFaces)),
        kMaterials + object(kFourFaces, -1),
        kMaterials + "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"Box01\" }\n",
    };
    for (const std::string& text : withoutRef) {
        seam.calls = 0;
        Read read(text);
        EXPECT_EQ(1, seam.calls);
        EXPECT_EQ(-1, seam.status);
        EXPECT_EQ(0, read.result);  // the seam returned
        EXPECT_EQ(nullptr, read.scene.head);
        EXPECT_EQ("ERROR: no MATERIAL_REF!", logLines().back());
    }
}

// A face that names a missing entry fails the object, after the subsets have
// been built and logged.
TEST(GeomObject, EveryFaceIsChecked) {
    const Faces one = {{0, 1, 2, 0}};
    const std::string vertices = vertexList(3), normals = normalsBlock(one), tex = tvertList(3) + tfaceList(one);
    const std::string badC = faceList({{0, 1, 3, 0}});
    auto mesh = [](const std::string& body) { return "*MESH {\n" + body + "}\n"; };
    struct {
        std::string body;
        int materialRef;
        const char* error;
    } cases[] = {
        {mesh(vertices + badC + tex + normals), 0, "ERROR: face 0 corner C: vertex 3 "},
        {mesh(vertices + faceList({{0, -1, 2, 0}}) + tex + normals), 0, "ERROR: face 0 corner B: vertex -1 "},
        {mesh(vertices + faceList(one) + tex), 0, "ERROR: face 0 corner A: normal 0 "},
        {mesh(vertices + faceList(one) + normals), 0, "ERROR: face 0 corner A: texture vertex 0 of channel 0 "},
        {mesh(vertices + faceList(one) + tvertList(2) + tfaceList(one) + normals), 0,
         "ERROR: face 0 corner C: texture vertex 2 of channel 0 "},
        {mesh(vertices + faceList(one) + tex + "*MESH_MAPPINGCHANNEL 2 {\n" + tvertList(2) + tfaceList(one) + "}\n" +
              normals),
         0, "ERROR: face 0 corner C: texture vertex 2 of channel 1 "},
        {mesh(vertices + badC + tex + normals), 9, "ERROR: face 0 corner C: vertex 3 "},
        {mesh(vertices + faceList(one) + tex + normals + "*MESH_NUMFACES 2\n"), 0,
         "ERROR: 2 faces declared, but the face list holds 1"},
        {mesh(vertices + faceList({{0, 1, 2, 0}, {0, 1, 2, 0}}) + "*MESH_NUMFACES 1\n" + tex + normals), 0,
         "ERROR: 1 faces declared, but the face list holds 2"},
        {mesh(vertices + "*MESH_NUMFACES 1\n" + tvertList(3) + normals), 0,
         "ERROR: 1 faces declared, but the face list holds 0"},
    };
    for (const auto& c : cases) {
        Read read(kMaterials + geomObject("Box01", c.body + "*MATERIAL_REF " + str(c.materialRef) + "\n"));
        EXPECT_EQ(0, read.result) << c.error;
        EXPECT_EQ(nullptr, read.scene.head) << c.error;
        EXPECT_TRUE(startsWith(logLines().back(), c.error)) << c.error << " / " << logLines().back();
    }
    Read single(kMaterials + geomObject("Box01", cases[0].body + "*MATERIAL_REF 0\n"));
    EXPECT_EQ("\t[1] 0 1 \"wood\"", logLines().rbegin()[1]);

    // With submaterials the face is named by its number in the file; faces
    // that no subset takes are not checked.
    const Faces three = {{0, 1, 9, 1}, {0, 1, 2, 0}, {9, 9, 9, 7}};
    Read late(kMaterials + geomObject("Box01", mesh(vertices + faceList(three) + tvertList(3) +
                                                    normalsBlock(Faces(3, one[0]))) +
                                                   "*MATERIAL_REF 1\n"));
    EXPECT_EQ(0, late.result);
    Lines tail = logLines("matref=1");
    ASSERT_EQ(5u, tail.size());
    EXPECT_EQ((Lines{"matref=1", "\t[0] 0 1 \"t0\"", "\t[1] 3 1 \"t1\"", "faces=3, numTris=2, Tris=3, tidx=0"}),
              Lines(tail.begin(), tail.begin() + 4));
    EXPECT_TRUE(startsWith(tail[4], "ERROR: face 0 corner C: vertex 9 ")) << tail[4];

    const Faces dropped = {{0, 1, 2, 0}, {9, 9, 9, 7}}, twice = {{0, 1, 2, 0}, {0, 1, 2, 0}};
    Read kept(kMaterials + geomObject("Box01", mesh(vertices + faceList(dropped) + tvertList(3) + tfaceList(twice) +
                                                    normalsBlock(twice)) +
                                                   "*MATERIAL_REF 1\n"));
    EXPECT_EQ(1, kept.result);
    ASSERT_NE(nullptr, kept.scene.head);
    EXPECT_EQ(1, kept.scene.head->faces.count);
    EXPECT_TRUE(meshIsSound(*kept.scene.head));
}

// The program itself ends with status -1 (255) when a reference is missing,
// and app.log still receives the message and the exit lines.
TEST(GeomObject, ProcessExitOnMissingReference) {
#if defined(_WIN32)
    GTEST_SKIP() << "runs the program through a POSIX shell";
#else
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tarvolt_exit_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "noref.ase") << kMaterials << geomObject("Box01", meshBlock(4, kFourFaces));
    std::string command =
        "cd '" + dir.string() + "' && '" TARVOLT_BINARY "' noref.ase > stdout.txt 2>&1 < /dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(255, WEXITSTATUS(status));
    EXPECT_FALSE(fs::exists(dir / "noref.qrv"));

    std::ifstream log(dir / "app.log");
    Lines lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("ERROR: no MATERIAL_REF!", lines.end()[-3]);
    EXPECT_TRUE(startsWith(lines.end()[-2], "allocated: "));
    EXPECT_EQ("EXIT", lines.back());
    std::stringstream out;
    out << std::ifstream(dir / "stdout.txt").rdbuf();
    EXPECT_EQ(std::string::npos, out.str().find("Done!"));
    fs::remove_all(dir);
#endif
}

}  // namespace
