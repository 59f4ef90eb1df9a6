#include <gtest/gtest.h>

#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "qrvinfo/obj_export.h"
#include "qrvinfo/pack_bytes.h"
#include "support/test_support.h"
#include "writer/qrv_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

struct StringStream : Stream {  // keeps what the writer writes
    std::string bytes;
    int close() override { return 0; }
    int32_t read(void*, int32_t) override { return 0; }
    int write(const void* data, int32_t n) override {
        return bytes.append((const char*)data, n), 1;
    }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return (int32_t)bytes.size(); }
    int32_t size() override { return (int32_t)bytes.size(); }
};

void keepRunning(int) {}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(TARVOLT_CORPUS, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name[0] != '.' && name.find(".md") == std::string::npos)
            files.push_back(std::string(TARVOLT_CORPUS) + "/" + name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Read and written as the converter does; false when the file is refused.
// The meshes stay in scene for the caller to compare, then release.
bool convert(const std::string& path, uint32_t options, Scene& scene, std::string& pack) {
    resetLog();
    gMissingMaterialRefExit = keepRunning;
    if (!AseReader().readScene(&scene, path.c_str())) return false;
    StringStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, scene.head, options);
    out.flush();
    pack = stream.bytes;
    return true;
}

void release(Scene& scene) {
    while (Mesh* mesh = scene.head) {
        scene.head = mesh->next;
        delete mesh;
    }
}

}  // namespace

TEST(QrvinfoCorpus, EveryConvertedFileLoadsWithTheReadersCounts) {
    ensureServices();
    const std::vector<std::string> files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
    int packs = 0;
    for (const std::string& file : files) {
        for (uint32_t weld : {0u, kOptionWeld}) {
            Scene scene;
            std::string bytes;
            Pack pack;
            PackError e;
            if (convert(file, weld, scene, bytes) && ++packs) {
                ASSERT_TRUE(loadBytes(bytes, pack, e))
                    << file << " " << weld << ": byte " << e.offset << " " << e.field << ": "
                    << e.found;
                int32_t m = 0;
                for (Mesh* mesh = scene.head; mesh; mesh = mesh->next, ++m) {
                    ASSERT_LT(m, pack.meshes.count) << file;
                    const MeshInfo& info = pack.meshes[m];
                    const uint32_t corners = 3u * (uint32_t)mesh->faces.count;
                    const uint32_t sets = mesh->mapChannels[1].count > 0 ? 2 : 1;
                    const uint32_t vertices = weld ? info.vertexCount : corners;
                    const uint32_t normals = !weld ? corners : sets == 2 ? info.vertexCount : 0;
                    EXPECT_EQ((std::vector<uint32_t>{
                                  mesh->name.length ? (uint32_t)mesh->name.length : 0u, sets,
                                  corners, vertices, normals, (uint32_t)mesh->subsets.count}),
                              (std::vector<uint32_t>{info.name.length, info.textureSets,
                                                     info.indexCount, info.vertexCount,
                                                     info.normalCount, info.subsetCount}))
                        << file << " mesh " << m;
                    EXPECT_LE(info.vertexCount, corners);
                    EXPECT_EQ(0, std::memcmp(pack.bytes + info.name.offset, mesh->name.data,
                                             info.name.length));
                }
                EXPECT_EQ(m, pack.meshes.count) << file;
            }
            release(scene);
        }
    }
    EXPECT_GT(packs, 0);
}

// An independent importer reads the exported OBJ with the pack's triangles.
TEST(QrvinfoCorpus, ObjOpensInAnotherImporterWithTheSameTriangles) {
#if defined(_WIN32)
    GTEST_SKIP() << "the other importer is run through a POSIX shell";
#else
    ensureServices();
    if (std::system("command -v assimp >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "assimp not installed (apt-get install assimp-utils)";
    const std::vector<std::string> files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
    char dir[] = "/tmp/qrvinfo_objXXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string obj = std::string(dir) + "/out.obj";
    int checked = 0;
    for (const std::string& file : files) {
        Scene scene;
        std::string bytes;
        Pack pack;
        PackError error;
        long triangles = 0, faces = -1;
        if (convert(file, 0, scene, bytes) && loadBytes(bytes, pack, error)) {
            for (int32_t m = 0; m < pack.meshes.count; ++m)
                triangles += pack.meshes[m].indexCount / 3;
        }
        if (triangles > 0) {
            ASSERT_TRUE(writeObj(pack, obj.c_str()));
            FILE* peer = popen(("assimp info '" + obj + "' -r 2>&1").c_str(), "r");  // raw read
            char line[512];
            while (peer && std::fgets(line, sizeof line, peer))
                if (std::strncmp(line, "Faces:", 6) == 0) faces = std::atol(line + 6);
            if (peer) pclose(peer);
            EXPECT_EQ(triangles, faces) << file;
            ++checked;
        }
        release(scene);
    }
    std::remove(obj.c_str());
    std::remove((std::string(dir) + "/out.mtl").c_str());
    rmdir(dir);
    EXPECT_GT(checked, 0);
#endif
}
