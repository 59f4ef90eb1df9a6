#include <gtest/gtest.h>
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

namespace fs = std::filesystem;

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
        ASSERT_TRUE(mesh.vertices.tryPush(p[k]) >= 0 && mesh.normals.tryPush(n[k]) >= 0 &&
                    mesh.mapChannels[0].tryPush(t[k]) >= 0);
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
    meshChunk(b, "boxz1", 1, {}, false, {}, {}, {}).tail({0});
    expectPack(&box, b, "MESH: boxz1\n", {0, kOptionWeld});
    addTriangle(small, "B", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, {{0, 0}, {1, 0}, {0, 0.5f}},
                "wood");
    expectPack(&small, smallPack(), "MESH: b\n\t[0]: wood ((null)) [0 1]\n", {0});
    addTriangle(wall, "Wall", {{1, 2, 3}, {4, -1, 0.5f}, {-2, 4, -1}}, {{0.6f, 0.8f, 0}, {0, 0, 1}, {1, 0, 0}},
                {{0.25f, 0.75f}, {0.5f, 0}, {1, 1}}, "Stone");
    for (TexVertex t : {TexVertex{0.125f, 0.5f}, {0.75f, 0.25f}, {0, 1}}) ASSERT_GE(wall.mapChannels[1].tryPush(t), 0);
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
    for (Mesh* mesh : {&a, &b}) {
        ASSERT_TRUE(mesh->mapChannels[1].tryPush({0, 0}) >= 0 && mesh->subsets.tryPushCleared());
        scene.link(mesh);
    }
    ASSERT_TRUE(a.subsets[0].textureName.tryAssign(""));
    PackBytes expected;
    const uint32_t second = (uint32_t)meshChunk(expected, nullptr, 2, {}, true, {}, {}, {{0, 0, nullptr, "_LM"}}).data.size();
    meshChunk(expected, "wall", 2, {}, true, {}, {}, {{0, 0, "", "wall_LM"}});
    expectPack(scene.head, expected.tail({0, second}),
               "MESH: (null)\n\t[0]: (null) (_LM) [0 0]\nMESH: wall\n\t[0]:  (wall_LM) [0 0]\n", {0});
    lightmapSuffix = "_L_0000";
}

// Puts of one byte to over two buffer loads arrive whole and in order, in writes of about a buffer each. Once a
// write fails no later one is tried, and flush reports the failure.
TEST(BufferedWriter, KeepsEveryByteAndStopsAtTheFirstFailure) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    MemoryWriteStream stream, failing;
    BufferedWriter out(&stream);
    std::vector<unsigned char> expected;
    for (int32_t n : {1, 2, 7, 4093, 100003, size + 5, 3, size - 100, 2 * size + 1, 1, size, 17}) {
        std::vector<unsigned char> piece((size_t)n);
        for (size_t k = 0; k < piece.size(); ++k) piece[k] = (unsigned char)(expected.size() + k);
        if (n != size) out.put(piece.data(), n);
        else std::memcpy(out.reserve(n), piece.data(), (size_t)n), out.commit(n);  // filled in place, as records are
        out.putU32(0xC1D2E3F4);
        expected.insert(expected.end(), piece.begin(), piece.end());
        expected.insert(expected.end(), {0xF4, 0xE3, 0xD2, 0xC1});
        EXPECT_EQ((int64_t)expected.size(), out.position());
    }
    EXPECT_TRUE(out.flush() && expected == stream.bytes);
    EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 2);

    failing.failAfter = 2 * (int64_t)size + 10;
    BufferedWriter doomed(&failing);
    for (int i = 0; i <= 8 * size / 4096; ++i) doomed.put(expected.data(), i < 8 * size / 4096 ? 4096 : size);
    EXPECT_FALSE(doomed.flush() || !doomed.failed());
    EXPECT_EQ(3, failing.writeCalls);  // two full buffers, then the failing one
    EXPECT_EQ(2 * (size_t)size, failing.bytes.size());
    EXPECT_EQ(9 * (int64_t)size, doomed.position());
}

// The pack replaces an earlier file whole. An output that is the input is refused, whether named so, a hard link
// or a symbolic link to it (or, on Windows, differing in case only): the input stays and no temporary is left.
TEST(WritePack, ReplacesTheOldPackButNeverTheInput) {
    ensureServices(), resetLog();
    ScratchDir dir;
    Mesh mesh;
    writeBytes(dir / "scene.qrv", "old");
    EXPECT_EQ(1, writePack((dir / "scene.ase").c_str(), &mesh, 0));
    EXPECT_EQ(packBytes(&mesh), readBytes(dir / "scene.qrv"));
    for (const char* name : {"x.qrv", "y.ase", "z.ase"}) writeBytes(dir / name, "ase text");
    std::vector<const char*> inputs = {"x.qrv", "z.ase"};
    fs::create_hard_link(dir / "z.ase", dir / "z.qrv");
    std::error_code noSymlink;  // Windows grants them only with a privilege
    fs::create_symlink("y.ase", dir / "y.qrv", noSymlink);
    if (!noSymlink) inputs.push_back("y.ase");
#if defined(_WIN32)
    writeBytes(dir / "w.QRV", "ase text");
    inputs.push_back("w.QRV");
#endif
    const auto files = [&] { return std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()); };
    const auto before = files();
    for (const char* name : inputs) {
        EXPECT_EQ(0, writePack((dir / name).c_str(), &mesh, 0)) << name;
        EXPECT_EQ("ase text", readBytes(dir / name)) << name;
    }
    EXPECT_EQ(before, files());
    EXPECT_TRUE(noSymlink || fs::is_symlink(dir / "y.qrv"));
}

// "" when accepted, else the refusal as one text.
static std::string refusal(const std::string& data, PackError& error) {
    Pack pack;
    return loadBytes(data, pack, error) ? "" : std::string(error.field) + ": expected " + error.expected + ", found " + error.found;
}

// Each field of a hand-built pack broken on its own is refused at its own byte, naming it.
TEST(PackLoader, NamesTheBrokenFieldAndItsByte) {
    ensureServices();
    struct Case { const char* mark; uint32_t delta; int width; uint32_t value; const char* field; bool dual = false; };
    const Case cases[] = {
        {"end mark", 0, 4, 0, "end mark"}, {"chunk count", 0, 4, 0xFFFFFFFF, "chunk count"},
        {"table", 0, 4, 4, "offset table entry 0"}, {"magic", 0, 4, 0, "chunk magic"},
        {"name length", 0, 4, 0xFFFFFFFF, "mesh 0 name length"}, {"name length", 5, 1, 'x', "name terminator"},
        {"name length", 4, 1, 'B', "mesh 0 name"}, {"transform", 20, 4, 0, "transform element 5"},
        {"sets", 0, 4, 3, "texture set count"}, {"vertex count", 0, 4, 0xFFFFFFFF, "vertex count"},
        {"normal count", 0, 4, 2, "normal count"}, {"normal 1", 4, 4, 0x3F000000, "normal 1 component 1"},
        {"bounds", 8, 4, 0xC0000000, "bounds minimum z"}, {"bounds", 20, 4, 0, "bounds maximum z"},  // -0 came first
        {"index count", 0, 4, 0xFFFFFFFF, "index count"}, {"index count", 0, 4, 6, "index count"},
        {"indices", 2, 2, 3, "index 1"}, {"indices", 0, 2, 1, "index 0"}, {"subset count", 0, 4, 0xFFFFFFFF, "subset count"},
        {"subset", 0, 2, 3, "subset 0 first index"}, {"subset", 2, 2, 2, "subset 0 triangle count"},
        {"subset", 2, 2, 0, "subset 0 triangle count"}, {"slot 0", 0, 4, 0xFFFFFFFF, "slot 0 (diffuse) name length"},
        {"slot 1", 0, 4, 1, "slot 1 (lightmap) name length"}, {"slot 2", 12, 4, 0, "slot 2 parameter 3"},
        {"vertex 2", 12, 4, 1, "vertex 2 zero word", true},  // the two-set pack from here on
        {"slot 1", 4, 1, 'v', "slot 1 (lightmap) name", true},
    };
    for (const Case& c : cases) {
        PackBytes b = c.dual ? dualPack() : smallPack();
        const uint32_t at = b.marks.at(c.mark) + c.delta;
        for (int i = 0; i < c.width; ++i) b.data[at + i] = (char)(c.value >> (8 * i));
        PackError error = {};
        const std::string message = refusal(b.data, error);
        EXPECT_NE(std::string::npos, message.find(c.field)) << c.mark << "+" << c.delta << message;
        EXPECT_EQ(at, error.offset) << message;
    }
}

// Cut anywhere, or with a bit flipped anywhere but in free content, the small pack is refused.
TEST(PackLoader, RefusesEveryTruncationAndEveryFlippedStructuralBit) {
    ensureServices();
    const PackBytes b = smallPack();
    const std::string tail = PackBytes().tail({0}).data;
    PackError error = {};
    for (size_t n = 0; n < b.data.size(); ++n)  // and with the chunk cut, the tail intact
        EXPECT_TRUE(refusal(b.data.substr(0, n), error) != "" && (n >= 345 || refusal(b.data.substr(0, n) + tail, error) != "")) << n;
    std::vector<bool> free(b.data.size(), false);  // name characters, positions, u and v
    auto mark = [&](uint32_t at, int n) { std::fill_n(free.begin() + at, n, true); };
    mark(b.marks.at("name length") + 4, 1), mark(b.marks.at("slot 0") + 4, 4);
    for (int v = 0; v < 3; ++v) {
        const uint32_t at = b.marks.at("vertex " + std::to_string(v));
        mark(at, 12), mark(at + 24, 8);
    }
    for (size_t i = 0; i < b.data.size(); ++i)
        for (int bit = 0; bit < 8 && !free[i]; ++bit) {
            std::string flipped = b.data;
            flipped[i] = (char)(flipped[i] ^ (1 << bit));
            EXPECT_NE("", refusal(flipped, error)) << "byte " << i << " bit " << bit;
        }
}
