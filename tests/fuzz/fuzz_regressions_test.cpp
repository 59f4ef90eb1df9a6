// Every input the fuzzer once failed on, kept minimised in the repository,
// goes through the whole conversion again and must end clearly.
#include "convert_in_memory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

TEST(FuzzRegressions, EveryKeptInputEndsClearly) {
    ensureServices();
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(TARVOLT_TEST_DATA "/fuzz_regressions"))
        if (entry.is_regular_file() && entry.path().filename() != "README") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ConversionOutcome outcome = convertInMemory((const unsigned char*)bytes.data(), bytes.size());
        EXPECT_EQ("", outcome.fault) << file.filename();
    }
}
