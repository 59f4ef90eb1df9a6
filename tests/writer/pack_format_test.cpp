#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// The pack of head is expected's bytes with that Log, welded or not, and the loader accepts it.
static void expectPack(Mesh* head, const PackBytes& expected, const std::string& log, std::vector<uint32_t> options) {
    for (uint32_t weld : options) {
        resetLog();
        const std::string bytes = packBytes(head, weld);
        EXPECT_EQ(expected.data, bytes) << "options " << weld;
        EXPECT_EQ(log, logText());
        Pack pack;
        PackError error;
        EXPECT_TRUE(loadBytes(bytes, pack, error)) << error.field;
    }
}

// One triangle of corners 0, 1, 2 (entries 0, 1, 2 of every list) and its subset.
static void addTriangle(Mesh& mesh, const char* name, const Vec3 (&p)[3], const Vec3 (&n)[3], const TexVertex (&t)[3],
                        const char* texture) {
    ASSERT_TRUE(mesh.name.tryAssign(name));
    MeshFace& face = *mesh.faces.tryPushCleared();
    for (int k = 0; k < 3; ++k) {
        face.corners[k] = FaceCorner{k, k, {k, k}};
        ASSERT_TRUE(mesh.vertices.tryPush(p[k]) >= 0 && mesh.normals.tryPush(n[k]) >= 0 && mesh.mapChannels[0].tryPush(t[k]) >= 0);
    }
    mesh.subsets.tryPushCleared()->triangleCount = 1;
    ASSERT_TRUE(mesh.subsets[0].textureName.tryAssign(texture));
}

// Packs worked out by hand: no meshes; a mesh without faces (36-byte vertex stream: two counts, the starting
// bounds, no indices); the small case of 357 bytes; two sets with zero words, both sets in the records, normals
// only in normal records and the lightmap slot (welding three distinct corners changes nothing).
TEST(PackFormat, EmptyPackMeshWithoutFacesSmallCaseAndTwoSets) {
    ensureServices();
    EXPECT_EQ(std::string("\0\0\0\0\xEF\xBE\xAD\xDE", 8), packBytes(nullptr));
    Mesh box, small, wall;
    ASSERT_TRUE(box.name.tryAssign("BoxZ1"));  // Z: the last letter lowered
    PackBytes b;
    meshChunk(b, "boxz1", 1, {}, false, {}, {}, {});
    ASSERT_EQ(4u + 4 + 6 + 64 + 4 + 36 + 4 + 12, b.tail({0}).data.size());
    expectPack(&box, b, "MESH: boxz1\n", {0, kOptionWeld});
    addTriangle(small, "B", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, {{0, 0}, {1, 0}, {0, 0.5f}},
                "wood");
    ASSERT_EQ(357u, smallPack().data.size());
    expectPack(&small, smallPack(), "MESH: b\n\t[0]: wood ((null)) [0 1]\n", {0});
    addTriangle(wall, "Wall", {{1, 2, 3}, {4, -1, 0.5f}, {-2, 4, -1}}, {{0.6f, 0.8f, 0}, {0, 0, 1}, {1, 0, 0}},
                {{0.25f, 0.75f}, {0.5f, 0}, {1, 1}}, "Stone");
    for (TexVertex t : {TexVertex{0.125f, 0.5f}, {0.75f, 0.25f}, {0, 1}}) ASSERT_GE(wall.mapChannels[1].tryPush(t), 0);
    EXPECT_NE(std::string::npos, dualPack().data.find(std::string("\x0c\0\0\0wall_L_0000\0", 16)));
    expectPack(&wall, dualPack(), "MESH: wall\n\t[0]: Stone (wall_L_0000) [0 1]\n", {0, kOptionWeld});
}

// The later object heads the reader's list and goes first. The -l suffix goes on as given, even to no name.
// A bitmap with an empty base name gives length 1 (the zero alone), no diffuse bitmap length 0.
TEST(PackFormat, ChunksFollowTheSceneListWithSuffixAndTextureNames) {
    ensureServices();
    lightmapSuffix = "_LM";
    Mesh a, b;
    ASSERT_TRUE(a.name.tryAssign("Wall"));
    Scene scene;
    for (Mesh* mesh : {&a, &b}) { ASSERT_TRUE(mesh->mapChannels[1].tryPush({0, 0}) >= 0 && mesh->subsets.tryPushCleared()); scene.link(mesh); }
    ASSERT_TRUE(a.subsets[0].textureName.tryAssign(""));
    PackBytes expected;
    meshChunk(expected, nullptr, 2, {}, true, {}, {}, {{0, 0, nullptr, "_LM"}});
    const uint32_t second = (uint32_t)expected.data.size();
    meshChunk(expected, "wall", 2, {}, true, {}, {}, {{0, 0, "", "wall_LM"}});
    expectPack(scene.head, expected.tail({0, second}),
               "MESH: (null)\n\t[0]: (null) (_LM) [0 0]\nMESH: wall\n\t[0]:  (wall_LM) [0 0]\n", {0});
    lightmapSuffix = "_L_0000";
}

// Only the file name's extension goes: none, a dot in a directory only, a name that is all extension.
TEST(OutputPath, ReplacesOnlyTheFileExtension) {
    ensureServices();
    const char* cases[][2] = {{"crate.ase", "crate.qrv"}, {"noext", "noext.qrv"}, {"dir.v2/hall", "dir.v2/hall.qrv"},
                              {"dir.v2\\hall", "dir.v2\\hall.qrv"}, {".ase", ".qrv"}, {"C:hall.ASE", "C:hall.qrv"}};
    for (auto& c : cases) EXPECT_STREQ(c[1], outputPathFor(c[0]).data) << c[0];
}
