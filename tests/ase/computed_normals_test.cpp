// Geometry objects without normals: the smoothing groups as face lines give them, and where they are computed.
#include "ase/ase_fixture.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

namespace {

// Two faces folded at 90 degrees along the edge from vertex 0 to 1, and a third flat beside the first.
const Faces kFold = {{0, 1, 2, 0}, {1, 0, 3, 0}, {0, 4, 1, 0}};

const Vec3& cornerNormal(const Mesh* m, int32_t face, int k) { return m->normals[m->faces[face].corners[k].normal]; }

// The fold without normals, face f's line ending in tails[f] instead of "*MESH_SMOOTHING 1 *MESH_MTLID 0".
std::string foldScene(const std::vector<std::string>& tails, const Faces& faces = kFold) {
    std::string t = faceList(faces);
    for (size_t i = 0, at = 0; i < tails.size(); at += tails[i++].size())
        t.replace(at = t.find("*MESH_SMOOTHING 1 *MESH_MTLID 0", at), 31, tails[i]);
    t = "*MESH {\n*MESH_NUMVERTEX 5\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n"
        "*MESH_VERTEX 2 0 1 0\n*MESH_VERTEX 3 0 0 1\n*MESH_VERTEX 4 0 -1 0\n}\n" +
        t + tvertList(5) + tfaceList(faces) + "}\n*MATERIAL_REF 0\n";
    return "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"wood.tga"}) + geomObject("Fold", t);
}

// The forms exporters write: lists with commas, a trailing comma, no number at all, the key after the material id.
// Groups join through a face that holds both. Read by tokens and by lines.
TEST(ComputedNormals, SmoothingGroupsAsFaceLinesGiveThem) {
    const struct {
        const char* groups[3];  // what each face's line says between *MESH_SMOOTHING and *MESH_MTLID 0
        bool smooth;            // the fold's faces 0 and 1 share their normal at vertex 0
    } cases[] = {
        {{" 1 \t", " 1 \t", " 9 "}, true},       {{" 1 ", " 2 ", " 9 "}, false},
        {{" 1,2 ", " 2 ", " 9 "}, true},         {{" 5,7 ", " 6,8,32 ", " 9 "}, false},
        {{" 32,\t", " 32,\t", " 9 "}, true},     {{" 1, 2 ", " 2 ", " 9 "}, true},
        {{"  ", "  ", " 9 "}, false},            {{"\t0\t", "\t0\t", " 9 "}, false},
        {{" 33 ", " 33 ", " 9 "}, false},        {{" 1 ", " 3 ", " 1,3 "}, true},
        {{" 1 ", " 32 ", " 32,1 "}, true},       {{" 1 ", " 3 ", " 2,3 "}, false},
        {{nullptr, nullptr, " 9 "}, false},  // no key
        {{"*MESH_MTLID 0 *MESH_SMOOTHING 4", "*MESH_MTLID 0 *MESH_SMOOTHING 4", " 9 "}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> tails;
        for (const char* g : c.groups)
            tails.push_back(!g ? "*MESH_MTLID 0" : *g == '*' ? g : "*MESH_SMOOTHING" + std::string(g) + "*MESH_MTLID 0");
        for (bool lineScans : {true, false}) {
            Read read(foldScene(tails), lineScans);
            ASSERT_TRUE(read.result && read.scene.head) << tails[0];
            EXPECT_EQ(c.smooth, same(cornerNormal(read.scene.head, 0, 0), cornerNormal(read.scene.head, 1, 1)))
                << tails[0] << " | " << tails[1] << (lineScans ? "" : " (by tokens)");
        }
    }
}

// The face list may come before the vertices; the Log says what was computed.
TEST(ComputedNormals, WhereTheyAreComputed) {
    std::string text = foldScene({}), facesFirst = text;
    const size_t faces = text.find("*MESH_NUMFACES"), texture = text.find("*MESH_NUMTVERTEX");
    facesFirst.erase(faces, texture - faces).insert(facesFirst.find("*MESH {\n") + 8, text.substr(faces, texture - faces));
    for (const std::string& t : {text, facesFirst}) {
        Read read(t);
        ASSERT_TRUE(read.result) << t;
        EXPECT_NE(std::string::npos, logText().find("     0 normals\n")) << logText();
        EXPECT_NE(std::string::npos, logText().find("normals computed from smoothing groups: 5\n")) << logText();
        EXPECT_LT(degreesBetween(Vec3{0, 1, 2}, cornerNormal(read.scene.head, 0, 0)), 1e-4);  // 2 right angles up
    }
}

}  // namespace
