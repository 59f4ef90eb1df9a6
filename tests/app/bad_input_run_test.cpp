// The real binary on bad input and bad paths: every run ends with a pack that
// loads, or with an ERROR line, exit code -1 and the reason in app.log, and
// leaves no partial file behind nor an earlier pack changed.
#include "app/clear_outcome.h"

#include <gtest/gtest.h>

#include <random>
#include <system_error>

namespace {

namespace fs = std::filesystem;

class BadInputRun : public ::testing::Test {
protected:
    ScratchDir dir;

    // Runs tarvolt on input (a name in dir) and checks the outcome; true when
    // a pack was written.
    bool runOn(const std::string& input, std::vector<std::string> options = {}, long stackKiB = 0) {
        std::vector<std::string> before = filesIn(dir.path);
        std::string pack = dir / fs::path(input).replace_extension(".qrv").string();
        std::string earlier = fs::is_regular_file(pack) ? readBytes(pack) : "";
        options.push_back(input);
        MeasuredRun run = runMeasured(dir.path, options, stackKiB);
        return expectClearOutcome(run, dir.path, pack, before, earlier);
    }

    bool makeSparse(const std::string& name, uintmax_t size) {
        std::error_code error;
        writeBytes(dir / name, "");
        fs::resize_file(dir / name, size, error);
        return !error;
    }
};

TEST_F(BadInputRun, TruncatedCopiesKeepTheEarlierPack) {
    const std::string text = triangleAse();
    writeBytes(dir / "a.ase", text);
    ASSERT_TRUE(runOn("a.ase"));
    const std::string pack = readBytes(dir / "a.qrv");
    // Cut at each line break: some cuts read (and replace the pack with an
    // equal one), the others fail and leave it untouched.
    int refused = 0;
    for (size_t cut = text.find('\n'); cut != std::string::npos; cut = text.find('\n', cut + 1)) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        writeBytes(dir / "a.ase", text.substr(0, cut));
        refused += !runOn("a.ase", {"-o"});
        writeBytes(dir / "a.qrv", pack);
    }
    EXPECT_GT(refused, 0);
}

TEST_F(BadInputRun, FilesNoOneShouldFeedIt) {
    std::string little = "\xFF\xFE";
    for (char c : triangleAse()) little += c, little += '\0';
    std::mt19937 random(7);
    std::string garbage(100000, '\0');
    for (char& c : garbage) c = (char)(random() & 0xFF);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.ase", ""},
        {"blank.ase", " \t\r\n\n"},
        {"utf16.ase", little},
        {"garbage.ase", garbage},
        {"word.ase", std::string(1 << 20, 'w')},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        writeBytes(dir / file.first, file.second);
        EXPECT_TRUE(runOn(file.first));  // nothing in them to convert: an empty pack
    }
}

TEST_F(BadInputRun, DeepNestingOnASmallStack) {
    // Nothing recurses with the depth of the file: 100,000 nested braces and
    // 100,000 nested submaterials run on a 1 MB stack.
    std::string braces = std::string(100000, '{') + std::string(100000, '}') + "\n" + triangleAse();
    writeBytes(dir / "braces.ase", braces);
    EXPECT_TRUE(runOn("braces.ase", {}, 1024));

    std::string submaterials = "*MATERIAL_LIST {\n*MATERIAL 0 {\n";
    for (int i = 0; i < 100000; ++i) submaterials += "*SUBMATERIAL 0 {\n";
    writeBytes(dir / "sub.ase", submaterials + std::string(100000, '}') + "\n}\n}\n");
    EXPECT_FALSE(runOn("sub.ase", {}, 1024));
    EXPECT_TRUE(hasLineStarting(readBytes(dir / "app.log"), "ERROR: line 35: *SUBMATERIAL nested deeper than 32"))
        << readBytes(dir / "app.log");
}

TEST_F(BadInputRun, PathsThatCannotBeUsed) {
    fs::create_directory(dir / "folder.ase");
    EXPECT_FALSE(runOn("folder.ase"));

    writeBytes(dir / "a.ase", triangleAse());
    fs::create_directory(dir / "a.qrv");  // where the pack would go
    EXPECT_FALSE(runOn("a.ase"));
    EXPECT_TRUE(fs::is_directory(dir / "a.qrv"));

    writeBytes(dir / "self.qrv", triangleAse());  // the output would be the input
    EXPECT_FALSE(runOn("self.qrv"));
    EXPECT_EQ(triangleAse(), readBytes(dir / "self.qrv"));

    EXPECT_FALSE(runOn("missing.ase"));
    EXPECT_FALSE(runOn("no-such-folder/a.ase"));
}

TEST_F(BadInputRun, InputsPastTheLargestSizeAreRefusedNotMisread) {
    // 2 GiB, and 4 GiB + 64 bytes (which a 32-bit size would take for 64).
    for (uintmax_t size : {2147483648ull, 4294967296ull + 64}) {
        SCOPED_TRACE(size);
        if (!makeSparse("huge.ase", size)) GTEST_SKIP() << "no sparse files here";
        EXPECT_FALSE(runOn("huge.ase"));
        EXPECT_TRUE(hasLineStarting(readBytes(dir / "app.log"), "ERROR: cannot read \"huge.ase\""));
        fs::remove(dir / "huge.ase");
    }
}

}  // namespace
