#include <gtest/gtest.h>

#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "writer/pack_reader.h"
#include "writer/writer_test_support.h"

namespace {

// An object without a material reference fails its read instead of ending
// the process.
void refuseMissingMaterialRef(int) {}

void releaseScene(Scene& scene) {
    while (scene.head) {
        Mesh* next = scene.head->next;
        delete scene.head;
        scene.head = next;
    }
}

// What the chunk must say about the Mesh it came from.
std::string compare(const PackChunk& chunk, const Mesh& mesh, bool welded) {
    std::string name = mesh.name.length > 0 ? mesh.name.data : "";
    if (chunk.name != name) return "name " + chunk.name + " for " + name;
    if (chunk.textureSets != (mesh.mapChannels[1].count > 0 ? 2u : 1u)) return "texture set count";
    uint32_t corners = 3u * (uint32_t)mesh.faces.count;
    if (chunk.indices.size() != corners) return "index count";
    if (!welded) {
        if (chunk.vertexCount() != corners) return "plain vertex count";
        for (uint32_t i = 0; i < corners; ++i)
            if (chunk.indices[i] != i) return "plain index " + std::to_string(i);
    }
    uint32_t normals = welded && chunk.textureSets == 1 ? 0 : chunk.vertexCount();
    if (chunk.normals.size() != 3 * (size_t)normals) return "normal count";
    if (chunk.subsets.size() != (size_t)mesh.subsets.count) return "subset count";
    for (int32_t i = 0; i < mesh.subsets.count; ++i)
        if (chunk.subsets[i].firstIndex != mesh.subsets[i].firstIndex ||
            chunk.subsets[i].triangleCount != mesh.subsets[i].triangleCount ||
            chunk.subsets[i].slots[0].length != (uint32_t)mesh.subsets[i].textureName.length)
            return "subset " + std::to_string(i);
    return "";
}

}  // namespace

// Every corpus file the reader accepts converts, plain and welded, into a
// pack that a loader can walk and that matches the Scene.
TEST(CorpusPack, EveryReadableFileGivesAWellFormedPack) {
    if (!std::filesystem::is_directory(TARVOLT_CORPUS)) GTEST_SKIP() << "no corpus";
    ensureServices();
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(TARVOLT_CORPUS))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());

    void (*savedExit)(int) = gMissingMaterialRefExit;
    gMissingMaterialRefExit = refuseMissingMaterialRef;
    int converted = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        resetLog();
        Scene scene;
        AseReader reader;
        if (!reader.readScene(&scene, file.c_str())) {
            releaseScene(scene);
            continue;
        }
        std::vector<const Mesh*> meshes;
        for (const Mesh* mesh = scene.head; mesh; mesh = mesh->next) meshes.push_back(mesh);
        for (uint32_t options : {0u, kOptionWeld}) {
            std::vector<unsigned char> bytes = packBytes(scene.head, options);
            std::vector<PackChunk> chunks;
            std::string problem = PackParser(bytes).read(&chunks);
            ASSERT_EQ(problem, "") << "options " << options;
            ASSERT_EQ(chunks.size(), meshes.size());
            for (size_t i = 0; i < chunks.size(); ++i) {
                problem = checkChunk(chunks[i]);
                if (problem.empty()) problem = compare(chunks[i], *meshes[i], options != 0);
                EXPECT_EQ(problem, "") << "chunk " << i << ", options " << options;
            }
        }
        ++converted;
        releaseScene(scene);
    }
    gMissingMaterialRefExit = savedExit;
    std::printf("%d of %zu corpus files converted\n", converted, files.size());
    EXPECT_GT(converted, 0);
}
