#include <gtest/gtest.h>

#include "writer/writer_test_support.h"

// Expected bytes below are spelled out from the format tables.
class PackFormat : public ::testing::Test {
protected:
    void SetUp() override {
        ensureServices();
        resetLog();
    }
    void TearDown() override { lightmapSuffix = "_L_0000"; }

    // Vertex stream section of the worked triangle, corners C, B, A.
    static Bytes workedSection(bool lightmap) {
        Bytes b;
        b.u32(3);
        if (lightmap) {
            b.f3(-2, -1, -4).u32(0).f32(1).f32(0).f32(0).f32(0);
            b.f3(4, 0.5f, 1).u32(0).f32(0.5f).f32(1).f32(0.75f).f32(0.75f);
            b.f3(1, 3, -2).u32(0).f32(0.25f).f32(0.25f).f32(0.125f).f32(0.5f);
        } else {
            b.f3(-2, -1, -4).f3(1, 0, 0).f32(1).f32(0);
            b.f3(4, 0.5f, 1).f3(0, 1, 0).f32(0.5f).f32(1);
            b.f3(1, 3, -2).f3(0.6f, 0, 0.8f).f32(0.25f).f32(0.25f);
        }
        b.u32(3).f3(1, 0, 0).f3(0, 1, 0).f3(0.6f, 0, 0.8f);
        b.f3(-2, -1, -4).f3(4, 3, 1);
        return b.u32(3).u16(0).u16(1).u16(2);
    }
    static Bytes trailer(std::initializer_list<uint32_t> offsets) {
        Bytes b;
        for (uint32_t offset : offsets) b.u32(offset);
        return b.u32((uint32_t)offsets.size()).u32(0xDEADBEEF);
    }
};

TEST_F(PackFormat, EmptySceneIsEightBytes) {
    std::vector<unsigned char> expected = {0, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE};
    EXPECT_EQ(packBytes(nullptr), expected);
}

TEST_F(PackFormat, MeshWithoutFacesOrSubsets) {
    Mesh mesh;
    mesh.name.assign(String("Box01"));
    Bytes expected;
    expected.u32(0xDEAFBABE).name("box01").identity().u32(1);
    expected.u32(0).u32(0).startBounds().u32(0);  // empty vertex stream: 36 bytes
    expected.u32(0).bytes(trailer({0}));
    std::vector<unsigned char> bytes = packBytes(&mesh);
    EXPECT_EQ(bytes, expected.v);
    EXPECT_EQ(bytes.size(), 4u + 4 + 6 + 64 + 4 + 36 + 4 + 12);
    EXPECT_STREQ(mesh.name.data, "box01");  // lower-cased in place
    EXPECT_EQ(logText(), "MESH: box01\n");
}

TEST_F(PackFormat, SmallCaseIs357Bytes) {
    Mesh mesh;
    mesh.name.assign(String("A"));
    addWorkedTriangle(mesh, false);
    addSubset(mesh, 0, 1, "tex1");
    Bytes subset;
    subset.u16(0).u16(1).slot("tex1").slot(nullptr).slot(nullptr).slot(nullptr);
    Bytes expected;
    expected.u32(0xDEAFBABE).name("a").identity().u32(1).bytes(workedSection(false));
    expected.u32(1).bytes(subset).bytes(trailer({0}));

    EXPECT_EQ(workedSection(false).v.size(), 174u);
    EXPECT_EQ(subset.v.size(), 89u);
    std::vector<unsigned char> bytes = packBytes(&mesh);
    ASSERT_EQ(bytes.size(), 357u);
    EXPECT_EQ(bytes, expected.v);
    EXPECT_EQ(logText(), "MESH: a\n\t[0]: tex1 ((null)) [0 1]\n");
}

TEST_F(PackFormat, DualSetMeshCarriesZeroWordsAndLightmapSlot) {
    Mesh mesh;
    mesh.name.assign(String("Wall"));
    addWorkedTriangle(mesh, true);
    addSubset(mesh, 0, 1, "Stone");
    Bytes expected;
    expected.u32(0xDEAFBABE).name("wall").identity().u32(2).bytes(workedSection(true));
    expected.u32(1).u16(0).u16(1).slot("Stone").slot("wall_L_0000").slot(nullptr).slot(nullptr);
    expected.bytes(trailer({0}));
    std::vector<unsigned char> bytes = packBytes(&mesh);
    EXPECT_EQ(bytes, expected.v);
    // The lightmap slot: length 12, then wall_L_0000 and its zero.
    const char lightmap[] = "\x0c\x00\x00\x00wall_L_0000";
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), lightmap, lightmap + 16), bytes.end());
    EXPECT_EQ(logText(), "MESH: wall\n\t[0]: Stone (wall_L_0000) [0 1]\n");
}

TEST_F(PackFormat, LightmapSuffixIsKeptAsGiven) {
    lightmapSuffix = "_LM";  // as set by -l
    Mesh named, unnamed;
    named.name.assign(String("Wall"));
    named.next = &unnamed;
    Bytes chunks[2];
    const char* lightmaps[2] = {"wall_LM", "_LM"};
    for (int i = 0; i < 2; ++i) {
        Mesh& mesh = i == 0 ? named : unnamed;
        mesh.mapChannels[1].push({0, 0});
        addSubset(mesh, 0, 0, "t");
        chunks[i].u32(0xDEAFBABE);
        if (i == 0) chunks[i].name("wall"); else chunks[i].u32(0);
        chunks[i].identity().u32(2).u32(0).u32(0).startBounds().u32(0);
        chunks[i].u32(1).u16(0).u16(0).slot("t").slot(lightmaps[i]).slot(nullptr).slot(nullptr);
    }
    Bytes expected;
    expected.bytes(chunks[0]).bytes(chunks[1]).bytes(trailer({0, (uint32_t)chunks[0].v.size()}));
    EXPECT_EQ(packBytes(&named), expected.v);
    EXPECT_EQ(logText(), "MESH: wall\n\t[0]: t (wall_LM) [0 0]\nMESH: (null)\n\t[0]: t (_LM) [0 0]\n");
}

TEST_F(PackFormat, EmptyTextureNameIsNotAMissingOne) {
    Mesh mesh;
    mesh.name.assign(String("m"));
    addSubset(mesh, 0, 0, "");       // a bitmap path with an empty base name
    addSubset(mesh, 0, 0, nullptr);  // a material without a diffuse bitmap
    Bytes expected;
    expected.u32(0xDEAFBABE).name("m").identity().u32(1).u32(0).u32(0).startBounds().u32(0).u32(2);
    expected.u16(0).u16(0).u32(1);
    expected.v.push_back(0);  // length 1: the zero byte alone
    expected.f32(0).f32(0).f32(1).f32(1).slot(nullptr).slot(nullptr).slot(nullptr);
    expected.u16(0).u16(0).slot(nullptr).slot(nullptr).slot(nullptr).slot(nullptr);
    expected.bytes(trailer({0}));
    EXPECT_EQ(packBytes(&mesh), expected.v);
    EXPECT_EQ(logText(), "MESH: m\n\t[0]:  ((null)) [0 0]\n\t[1]: (null) ((null)) [0 0]\n");
}

TEST_F(PackFormat, ChunksFollowTheSceneList) {
    // Objects A then B as the reader links them: B heads the list.
    Mesh* a = new Mesh();
    Mesh* b = new Mesh();
    a->name.assign(String("A"));
    b->name.assign(String("B"));
    addWorkedTriangle(*a, false);
    addSubset(*a, 0, 1, "tex1");
    Scene scene;
    scene.link(a);
    scene.link(b);
    Bytes expected;
    expected.u32(0xDEAFBABE).name("b").identity().u32(1).u32(0).u32(0).startBounds().u32(0).u32(0);
    ASSERT_EQ(expected.v.size(), 118u);
    expected.u32(0xDEAFBABE).name("a").identity().u32(1).bytes(workedSection(false)).u32(1);
    expected.u16(0).u16(1).slot("tex1").slot(nullptr).slot(nullptr).slot(nullptr);
    expected.bytes(trailer({0, 118}));
    EXPECT_EQ(packBytes(scene.head), expected.v);
    delete a;
    delete b;
}

TEST(OutputPath, ReplacesOnlyTheFileExtension) {
    ensureServices();
    const char* cases[][2] = {
        {"crate.ase", "crate.qrv"},           {"scenes\\hall.ase", "scenes\\hall.qrv"},
        {"a.b.ase", "a.b.qrv"},               {"dir.v2\\hall", "dir.v2\\hall.qrv"},
        {"dir.v2/hall", "dir.v2/hall.qrv"},   {"noext", "noext.qrv"},
        {".ase", ".qrv"},                     {"x.qrv", "x.qrv"},
        // Drive letters and network paths as Windows users give them.
        {"C:\\scenes\\hall.ase", "C:\\scenes\\hall.qrv"}, {"C:hall.ASE", "C:hall.qrv"},
        {"\\\\server\\share.x\\hall", "\\\\server\\share.x\\hall.qrv"},
    };
    for (auto& c : cases) EXPECT_STREQ(outputPathFor(c[0]).data, c[1]) << c[0];
}
