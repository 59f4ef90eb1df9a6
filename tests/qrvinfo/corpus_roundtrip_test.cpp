#include <gtest/gtest.h>
#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "qrvinfo/obj_export.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <cstdio>

// The triangles an independent importer (assimp, -r: a raw read) finds in the pack's OBJ; -1 when it cannot tell.
static long importedTriangles([[maybe_unused]] const Pack& pack, [[maybe_unused]] const std::string& obj) {
    long faces = -1;
#if !defined(_WIN32)  // run through a POSIX shell
    FILE* peer = writeObj(pack, obj.c_str(), "") ? popen(("assimp info '" + obj + "' -r 2>&1").c_str(), "r") : nullptr;
    for (char line[512]; peer && std::fgets(line, sizeof line, peer);)
        if (std::strncmp(line, "Faces:", 6) == 0) faces = std::atol(line + 6);
    if (peer) pclose(peer);
#endif
    return faces;
}

// Every corpus file the reader accepts converts, plain and welded, into a pack the strict loader accepts with
// the Scene's meshes, names and counts; its OBJ opens in an independent importer with the same triangles.
TEST(QrvinfoCorpus, EveryConvertedFileLoadsWithTheReadersCounts) {
    ensureServices();
    const bool importer = std::system("command -v assimp >/dev/null 2>&1") == 0;  // never so without a POSIX shell
    ScratchDir dir;
    int packs = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(TARVOLT_CORPUS, error), end; !error && it != end; it.increment(error)) {
        const std::string file = it->path().string();
        if (it->path().filename().string()[0] == '.' || it->path().extension() == ".md") continue;
        for (uint32_t weld : {0u, kOptionWeld}) {
            resetLog();
            AseReader reader;
            Scene scene;
            Pack pack;
            PackError e;
            const std::string bytes = reader.readScene(&scene, file.c_str()) && ++packs ? packBytes(scene.head, weld) : "";
            ASSERT_TRUE(bytes.empty() || loadBytes(bytes, pack, e)) << file << " " << weld << ": byte " << e.offset << " "
                                                                    << e.field << ": " << e.found;
            int32_t m = 0, triangles = 0;
            for (const Mesh* mesh = scene.head; mesh && m < pack.meshes.count; mesh = mesh->next, ++m) {
                const MeshInfo& info = pack.meshes[m];
                const uint32_t corners = 3u * (uint32_t)mesh->faces.count, sets = mesh->mapChannels[1].count ? 2 : 1;
                const uint32_t vertices = weld ? info.vertexCount : corners, normals = weld && sets == 1 ? 0 : vertices;
                const uint32_t name = mesh->name.data ? (uint32_t)mesh->name.length() + 1 : 0;
                EXPECT_EQ((std::vector<uint32_t>{name, sets, corners, vertices, normals, (uint32_t)mesh->subsets.count}),
                          (std::vector<uint32_t>{info.name.length, info.textureSets, info.indexCount, info.vertexCount,
                                                 info.normalCount, info.subsetCount})) << file << " mesh " << m;
                EXPECT_EQ(0, std::memcmp(pack.bytes + info.name.offset, mesh->name.data ? mesh->name.data : "", name));
                triangles += mesh->faces.count;
            }
            EXPECT_EQ(m, pack.meshes.count) << file;
            EXPECT_TRUE(!importer || weld || !triangles || triangles == importedTriangles(pack, dir / "out.obj")) << file;
            for (Mesh* mesh; (mesh = scene.head);) scene.head = mesh->next, delete mesh;
        }
    }
    if (packs == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
    if (!importer) std::printf("OBJ not cross-checked: no assimp here (apt-get install assimp-utils)\n");
}
