#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

namespace {

// Expected bytes are worked out from the format; the packs also pass the
// strict loader.
class PackFormat : public ::testing::Test {
protected:
    void SetUp() override { ensureServices(); }
    void TearDown() override { lightmapSuffix = "_L_0000"; }

    static void expectPack(Mesh* head, const PackBytes& expected, const std::string& log,
                           uint32_t options = 0) {
        resetLog();
        const std::string bytes = packBytes(head, options);
        EXPECT_EQ(expected.data, bytes) << "options " << options;
        EXPECT_EQ(log, logText());
        Pack pack;
        PackError error;
        EXPECT_TRUE(loadBytes(bytes, pack, error)) << error.field;
    }
};

// One triangle of corners k = 0, 1, 2, and a subset (texture null: none).
void addTriangle(Mesh& mesh, const Vec3 (&p)[3], const Vec3 (&n)[3], const TexVertex (&t)[2][3],
                 bool twoSets, const char* texture) {
    MeshFace& face = mesh.faces.pushCleared();
    for (int k = 0; k < 3; ++k) {
        face.corners[k] = FaceCorner{k, k, {k, k}};
        mesh.vertices.push(p[k]), mesh.normals.push(n[k]), mesh.mapChannels[0].push(t[0][k]);
        if (twoSets) mesh.mapChannels[1].push(t[1][k]);
    }
    mesh.subsets.pushCleared().triangleCount = 1;
    mesh.subsets[0].textureName.assign(String(texture));
}

}  // namespace

TEST_F(PackFormat, EmptySceneMeshWithoutFacesAndSmallCase) {
    EXPECT_EQ(std::string("\0\0\0\0\xEF\xBE\xAD\xDE", 8), packBytes(nullptr));
    Mesh box;
    box.name.assign(String("Box01"));
    PackBytes b;  // 36-byte vertex stream: two counts, the starting bounds, no indices
    meshChunk(b, "box01", 1, {}, false, kNoBounds, {}, {});
    ASSERT_EQ(4u + 4 + 6 + 64 + 4 + 36 + 4 + 12, b.tail({0}).data.size());
    for (uint32_t options : {0u, kOptionWeld}) expectPack(&box, b, "MESH: box01\n", options);

    Mesh mesh;
    mesh.name.assign(String("B"));
    addTriangle(mesh, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}},
                {{{0, 0}, {1, 0}, {0, 0.5f}}}, false, "wood");
    ASSERT_EQ(357u, smallPack().data.size());
    expectPack(&mesh, smallPack(), "MESH: b\n\t[0]: wood ((null)) [0 1]\n");
}

// Two sets: zero words, both sets in the records, normals in normal records
// only, and the lightmap slot; welding three distinct corners changes nothing.
TEST_F(PackFormat, DualSetMeshCarriesZeroWordsAndLightmapSlot) {
    Mesh mesh;
    mesh.name.assign(String("Wall"));
    addTriangle(mesh, {{1, 2, 3}, {4, -1, 0.5f}, {-2, 4, -1}}, {{0.6f, 0.8f, 0}, {0, 0, 1}, {1, 0, 0}},
                {{{0.25f, 0.75f}, {0.5f, 0}, {1, 1}}, {{0.125f, 0.5f}, {0.75f, 0.25f}, {0, 1}}}, true,
                "Stone");
    PackBytes b;
    meshChunk(b, "wall", 2,
              {{{-2, -1, -4}, {1, 0, 0}, {1, 0, 0, 0}}, {{4, 0.5f, 1}, {0, 1, 0}, {0.5f, 1, 0.75f, 0.75f}},
               {{1, 3, -2}, {0.6f, 0, 0.8f}, {0.25f, 0.25f, 0.125f, 0.5f}}},
              true, {-2, -1, -4, 4, 3, 1}, {0, 1, 2}, {{0, 1, "Stone", "wall_L_0000"}});
    EXPECT_NE(std::string::npos, b.tail({0}).data.find(std::string("\x0c\0\0\0wall_L_0000\0", 16)));
    for (uint32_t options : {0u, kOptionWeld})
        expectPack(&mesh, b, "MESH: wall\n\t[0]: Stone (wall_L_0000) [0 1]\n", options);
}

// The reader links objects at the head: the later one is written first. A
// suffix given with -l is appended as given, even to an unnamed mesh. A
// bitmap path with an empty base name gives a name of length 1 (the zero
// alone); a material without a diffuse bitmap, length 0.
TEST_F(PackFormat, ChunksFollowTheSceneListWithSuffixAndTextureNames) {
    lightmapSuffix = "_LM";
    Mesh a, b;
    a.name.assign(String("Wall"));
    Scene scene;
    for (Mesh* mesh : {&a, &b}) {
        mesh->mapChannels[1].push({0, 0});
        mesh->subsets.pushCleared();
        scene.link(mesh);
    }
    a.subsets[0].textureName.assign(String(""));
    PackBytes expected;
    meshChunk(expected, nullptr, 2, {}, true, kNoBounds, {}, {{0, 0, nullptr, "_LM"}});
    const uint32_t second = expected.at();
    meshChunk(expected, "wall", 2, {}, true, kNoBounds, {}, {{0, 0, "", "wall_LM"}});
    expected.tail({0, second});
    expectPack(scene.head, expected, "MESH: (null)\n\t[0]: (null) (_LM) [0 0]\nMESH: wall\n\t[0]:  (wall_LM) [0 0]\n");
}

TEST(OutputPath, ReplacesOnlyTheFileExtension) {
    ensureServices();
    const char* cases[][2] = {
        {"crate.ase", "crate.qrv"}, {"scenes\\hall.ase", "scenes\\hall.qrv"}, {"a.b.ase", "a.b.qrv"},
        {"dir.v2\\hall", "dir.v2\\hall.qrv"}, {"dir.v2/hall", "dir.v2/hall.qrv"}, {"noext", "noext.qrv"},
        {".ase", ".qrv"}, {"x.qrv", "x.qrv"}, {"C:\\scenes\\hall.ase", "C:\\scenes\\hall.qrv"},
        {"C:hall.ASE", "C:hall.qrv"}, {"\\\\server\\share.x\\hall", "\\\\server\\share.x\\hall.qrv"},
    };
    for (auto& c : cases) EXPECT_STREQ(c[1], outputPathFor(c[0]).data) << c[0];
}
