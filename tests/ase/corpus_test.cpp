// Real ASE files: each one is read into sound Meshes or rejected with an
// ERROR line that says why; so is every truncated copy of some of them.
#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& path) {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// "" when text was read into sound Meshes, otherwise the reason it was not.
std::string readOrReject(const std::string& text, const std::string& what) {
    MissingRefSeam seam;  // an object without a reference fails instead of exiting
    Read read(text);
    if (read.result) {
        EXPECT_EQ(0, seam.calls) << what;
        EXPECT_EQ("done!", logLines().back()) << what;
        for (const Mesh* mesh = read.scene.head; mesh; mesh = mesh->next)
            EXPECT_TRUE(meshIsSound(*mesh)) << what << " mesh " << mesh->name.printable();
        return "";
    }
    EXPECT_NE("", lastError()) << what << " rejected without an ERROR line";
    return lastError() + " ";
}

std::vector<fs::path> corpusFiles() {
    std::vector<fs::path> files;
    if (fs::is_directory(TARVOLT_CORPUS))
        for (const auto& entry : fs::directory_iterator(TARVOLT_CORPUS))
            if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Corpus, EveryFileIsReadOrRejectedWithAReason) {
    std::vector<fs::path> files = corpusFiles();
    if (files.empty()) GTEST_SKIP() << "no corpus at " TARVOLT_CORPUS;
    int rejected = 0;
    for (const fs::path& path : files) {
        std::string reason = readOrReject(fileBytes(path), path.filename().string());
        if (!reason.empty()) std::cout << "  rejected " << path.filename().string() << ": " << reason << "\n";
        rejected += !reason.empty();
    }
    std::cout << "  " << files.size() - rejected << " read, " << rejected << " rejected\n";
    EXPECT_LT(rejected, (int)files.size());
}

// The smallest file that is read and uses submaterials, vertex colours and
// normals, cut at 100 evenly spaced points.
TEST(Corpus, TruncatedCopiesAreReadOrRejected) {
    std::string chosen;
    for (const fs::path& path : corpusFiles()) {
        std::string bytes = fileBytes(path);
        bool rich = bytes.find("*SUBMATERIAL") != std::string::npos &&
                    bytes.find("*MESH_CVERTLIST") != std::string::npos &&
                    bytes.find("*MESH_VERTEXNORMAL") != std::string::npos;
        if (rich && (chosen.empty() || bytes.size() < chosen.size()) && readOrReject(bytes, "").empty())
            chosen = bytes;
    }
    if (chosen.empty()) GTEST_SKIP() << "no suitable corpus file";
    for (size_t k = 0; k < 100; ++k) {
        size_t cut = chosen.size() * k / 100;
        readOrReject(chosen.substr(0, cut), "cut at " + std::to_string(cut));
    }
}

}  // namespace
