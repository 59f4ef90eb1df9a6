// Faces grouped by submaterial: one subset per used id in id order, file order
// within each, faces with other ids dropped.
#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(SubmaterialSubsets, GroupedByIdInFileOrder) {
    // Face f uses vertices f, f + 1, f + 2, so its first corner names it.
    const std::vector<int> ids = {2, -1, 0, 2, 5, 0, 1};
    Faces faces;
    for (int f = 0; f < (int)ids.size(); ++f) faces.push_back(FaceIndices{f, f + 1, f + 2, ids[f]});
    Read read(materialList({"a|b|c"}) + geomObject("Box", meshBlock(9, faces) + "*MATERIAL_REF 0\n"));
    ASSERT_EQ(1, read.result);
    const Mesh& mesh = *read.scene.head;
    ASSERT_EQ(3, mesh.subsets.count);
    const int32_t expected[3][2] = {{0, 2}, {6, 1}, {9, 2}};
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(expected[s][0], mesh.subsets[s].firstIndex);
        EXPECT_EQ(expected[s][1], mesh.subsets[s].triangleCount);
        EXPECT_STREQ(std::string(1, (char)('a' + s)).c_str(), mesh.subsets[s].textureName.data);
    }
    const std::vector<int> order = {2, 5, 6, 0, 3};
    ASSERT_EQ((int)order.size(), mesh.faces.count);
    for (size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], mesh.faces[(int32_t)k].corners[0].vertex);
    Lines log = logLines("\t[0] 0 2 \"a\"");
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ((Lines{"\t[0] 0 2 \"a\"", "\t[1] 6 1 \"b\"", "\t[2] 9 2 \"c\"", "faces=7, numTris=5, Tris=7, tidx=0"}),
              Lines(log.begin(), log.begin() + 4));
}

TEST(SubmaterialSubsets, ManySubmaterialsAndFaces) {
    // 20,000 submaterials and 20,000 faces, every face on its own id in
    // reverse: the subsets come out in id order, one face each.
    const int n = 20000;
    std::string text = "*MATERIAL_LIST {\n*MATERIAL 0 {\n";
    for (int i = 0; i < n; ++i) text += "*SUBMATERIAL " + str(i) + " { }\n";
    text += "}\n}\n*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES " + str(n) + "\n*MESH_FACE_LIST {\n";
    for (int f = 0; f < n; ++f) text += "*MESH_FACE " + str(f) + ": A: 0 B: 1 C: 2 *MESH_MTLID " + str(n - 1 - f) + "\n";
    text += "}\n*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n}\n*MESH_TFACELIST {\n";
    for (int f = 0; f < n; ++f) text += "*MESH_TFACE " + str(f) + " 0 0 0\n";
    text += "}\n*MESH_NORMALS {\n";
    for (int f = 0; f < n; ++f)
        text += "*MESH_FACENORMAL " + str(f) + " 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 1 0 0 1\n"
                "*MESH_VERTEXNORMAL 2 0 0 1\n";
    text += "}\n}\n*MATERIAL_REF 0\n}\n";
    Read read(text);
    ASSERT_EQ(1, read.result) << lastError();
    const Mesh& mesh = *read.scene.head;
    ASSERT_EQ(n, mesh.subsets.count);
    EXPECT_EQ(3 * (n - 1), mesh.subsets[n - 1].firstIndex);
    EXPECT_EQ(1, mesh.subsets[n - 1].triangleCount);
    EXPECT_TRUE(meshIsSound(mesh));
}

}  // namespace
