// Reading on several threads must leave exactly what reading on one leaves: the result, every Log line, the
// allocation count and the meshes, wherever the parts fall and whatever stands at their starts.
#include "ase_fixture.h"
#include "convert_in_memory.h"
#include "support/rng.h"

#include <gtest/gtest.h>

namespace {

std::string materialList(int submaterials) {
    std::string t = "*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*MAP_DIFFUSE { *BITMAP \"maps\\\\wall.tga\" }\n";
    t += "*NUMSUBMTLS " + str(submaterials) + "\n";
    for (int i = 0; i < submaterials; ++i)
        t += "*SUBMATERIAL " + str(i) + " {\n*MAP_DIFFUSE { *BITMAP \"sub" + str(i) + ".tga\" }\n}\n";
    return t + "}\n}\n";
}

// A closed quad strip of n faces; what goes wrong in it, if anything, is picked by fault.
std::string object(Rng& rng, int index, int fault) {
    const int faces = 2 + (int)rng.below(30), vertices = faces + 2;
    Faces list;
    for (int i = 0; i < faces; ++i) list.push_back({i, i + 1, i + 2, (int32_t)rng.below(3)});
    std::string t = "*GEOMOBJECT {\n*NODE_NAME \"Obj" + str(index) + "\"\n*NODE_TM {\n*NODE_NAME \"Obj" +
                    str(index) + "\"\n}\n*MESH {\n" + vertexList(vertices);
    std::string normals = "*MESH_NORMALS {\n";
    for (int i = 0; i < faces; ++i) {
        normals += "*MESH_FACENORMAL " + str(i) + " 0 0 1\n";
        for (int k = 0; k < 3; ++k) normals += "*MESH_VERTEXNORMAL " + str(i + k) + " 0 0 1\n";
    }
    t += faceList(list) + tvertList(vertices) + tfaceList(list) + normals + "}\n}\n";
    if (fault == 1) t.replace(t.find("*MESH_VERTEX 1 "), 14, "*MESH_VERTEX 7");  // a syntax error
    if (fault != 2) t += "*MATERIAL_REF 0\n";                                     // 2: no reference
    return t + "}\n";
}

// Objects, and between them the things a part's start may fall on or near.
std::string document(uint64_t seed) {
    Rng rng{seed};
    std::string t = "*3DSMAX_ASCIIEXPORT 200\n" + materialList((int)rng.below(3));
    const int objects = 2 + (int)rng.below(9);
    for (int i = 0; i < objects; ++i) {
        switch (rng.below(12)) {
        case 0: t += "/* *GEOMOBJECT { } */\n"; break;
        case 1: t += "*COMMENT \" *GEOMOBJECT\"\n"; break;
        case 2: t += "*GROUP {\n"; break;  // objects in a group are read all the same
        case 3: t += materialList((int)rng.below(3)); break;
        case 4: t += "// *GEOMOBJECT\n"; break;
        case 5: t += "{"; break;  // the keyword then follows a pending delimiter
        default: break;
        }
        const uint32_t roll = rng.below(40);
        t += object(rng, i, roll == 0 ? 1 : roll == 1 ? 2 : 0);
    }
    if (rng.below(4) == 0) t.resize(t.size() - rng.below((uint32_t)t.size() / 3));  // cut off
    if (rng.below(4) == 0) {  // CR LF line ends
        std::string crlf;
        for (char c : t) c == '\n' ? crlf += "\r\n" : crlf += c;
        t = crlf;
    }
    return t;
}

// Parts that workers read and the main thread took, over all traces.
int64_t partsTaken = 0;

std::string trace(const std::string& text, int threads) {
    return readingTrace((const unsigned char*)text.data(), text.size(), threads, threads == 1 ? 1 << 30 : 1,
                        &partsTaken);
}

TEST(ObjectLookahead, ManyThreadsLeaveWhatOneLeaves) {
    ensureServices();
    int spread = 0;
    const int64_t takenBefore = partsTaken;
    for (uint64_t seed = 1; seed <= 300; ++seed) {
        const std::string text = document(seed);
        const std::string alone = trace(text, 1);
        for (int threads : {2, 3, 5, 8}) {
            const std::string shared = trace(text, threads);
            ASSERT_EQ(alone, shared) << "seed " << seed << ", " << threads << " threads";
        }
        spread += alone.find("read 1") == 0;
    }
    EXPECT_GT(spread, 150);  // most documents read whole, so the meshes compare too
    EXPECT_GT(partsTaken - takenBefore, 1000);  // and most parts were really read by workers
}

TEST(ObjectLookahead, WorkersFindEveryObjectOfALongFile) {
    ensureServices();
    Rng rng{7};
    std::string text = "*3DSMAX_ASCIIEXPORT 200\n" + materialList(2);
    for (int i = 0; i < 200; ++i) text += object(rng, i, 0);
    const std::string alone = trace(text, 1);
    EXPECT_EQ(0u, alone.find("read 1"));
    const int64_t takenBefore = partsTaken;
    EXPECT_EQ(alone, trace(text, 2));
    EXPECT_EQ(alone, trace(text, 8));
    EXPECT_EQ(8, partsTaken - takenBefore);
}

}  // namespace
