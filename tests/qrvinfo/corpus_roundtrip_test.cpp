#include <gtest/gtest.h>

#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "qrvinfo/obj_export.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <cstdio>

namespace {

void keepRunning(int) {}  // an object without a material reference fails its read only

// Each corpus file the reader accepts, converted as the converter does and
// loaded; f sees the Scene's meshes (reverse reading order, as written).
template <typename F>
int forEachPack(uint32_t options, F&& f) {
    std::error_code error;
    int packs = 0;
    for (std::filesystem::directory_iterator it(TARVOLT_CORPUS, error), end; !error && it != end;
         it.increment(error)) {
        const std::string file = it->path().string();
        if (it->path().filename().string()[0] == '.' || file.find(".md") != std::string::npos) continue;
        resetLog();
        gMissingMaterialRefExit = keepRunning;
        Scene scene;
        Pack pack;
        PackError e;
        if (AseReader().readScene(&scene, file.c_str())) {
            const std::string bytes = packBytes(scene.head, options);
            const bool loaded = loadBytes(bytes, pack, e) == 1;
            EXPECT_TRUE(loaded) << file << " " << options << ": byte " << e.offset << " " << e.field
                                << ": " << e.found;
            if (loaded) f(file, scene, pack);
            ++packs;
        }
        for (Mesh* mesh; (mesh = scene.head);) scene.head = mesh->next, delete mesh;
    }
    return packs;
}

}  // namespace

// Plain and welded, every pack has the Scene's meshes with their counts.
TEST(QrvinfoCorpus, EveryConvertedFileLoadsWithTheReadersCounts) {
    ensureServices();
    for (uint32_t weld : {0u, kOptionWeld}) {
        const int packs = forEachPack(weld, [&](const std::string& file, const Scene& scene, const Pack& pack) {
            int32_t m = 0;
            for (const Mesh* mesh = scene.head; mesh && m < pack.meshes.count; mesh = mesh->next, ++m) {
                const MeshInfo& info = pack.meshes[m];
                const uint32_t corners = 3u * (uint32_t)mesh->faces.count;
                const uint32_t sets = mesh->mapChannels[1].count > 0 ? 2 : 1;
                const uint32_t vertices = weld ? info.vertexCount : corners;
                const uint32_t normals = !weld ? corners : sets == 2 ? info.vertexCount : 0;
                EXPECT_EQ((std::vector<uint32_t>{(uint32_t)mesh->name.length, sets, corners, vertices,
                                                 normals, (uint32_t)mesh->subsets.count}),
                          (std::vector<uint32_t>{info.name.length, info.textureSets, info.indexCount,
                                                 info.vertexCount, info.normalCount, info.subsetCount}))
                    << file << " mesh " << m;
                EXPECT_EQ(0, std::memcmp(pack.bytes + info.name.offset, mesh->name.data, info.name.length));
            }
            EXPECT_EQ(m, pack.meshes.count) << file;
        });
        if (packs == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
    }
}

// An independent importer reads the exported OBJ with the pack's triangles.
TEST(QrvinfoCorpus, ObjOpensInAnotherImporterWithTheSameTriangles) {
#if defined(_WIN32)
    GTEST_SKIP() << "the other importer is run through a POSIX shell";
#else
    ensureServices();
    if (std::system("command -v assimp >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "assimp not installed (apt-get install assimp-utils)";
    ScratchDir dir;
    const std::string obj = dir / "out.obj";
    const int packs = forEachPack(0, [&](const std::string& file, const Scene&, const Pack& pack) {
        long triangles = 0, faces = -1;
        for (int32_t m = 0; m < pack.meshes.count; ++m) triangles += pack.meshes[m].indexCount / 3;
        if (triangles == 0) return;
        ASSERT_TRUE(writeObj(pack, obj.c_str()));
        FILE* peer = popen(("assimp info '" + obj + "' -r 2>&1").c_str(), "r");  // raw read
        char line[512];
        while (peer && std::fgets(line, sizeof line, peer))
            if (std::strncmp(line, "Faces:", 6) == 0) faces = std::atol(line + 6);
        if (peer) pclose(peer);
        EXPECT_EQ(triangles, faces) << file;
    });
    if (packs == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
#endif
}
