#include <gtest/gtest.h>

#include "app/run_fixture.h"

#include <algorithm>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kQuietLog = "INIT: begin intialization...\nallocated: 0 bytes\nEXIT\n";
const std::string kWeldLine = "mesh data optimization ON, may take a while ...\n";
const std::string kDone = "\nDone!\n" + kPrompt;

class ExitCodes : public ::testing::Test {
protected:
    ScratchDir dir;

    RunResult run(std::vector<std::string> args) { return runTarvolt(dir.path, std::move(args)); }

    // The log of a run that got as far as reading: INIT first, the allocation
    // report and EXIT last, and the given text somewhere.
    void expectLogFrame(const std::string& contains = "") {
        std::string log = readText(dir / "app.log");
        std::vector<std::string> l = lines(log);
        ASSERT_GE(l.size(), 3u) << log;
        EXPECT_EQ("INIT: begin intialization...", l.front());
        EXPECT_TRUE(std::regex_match(l[l.size() - 2], std::regex("allocated: [0-9]+ bytes"))) << log;
        EXPECT_EQ("EXIT", l.back());
        EXPECT_NE(std::string::npos, log.find(contains)) << log;
    }

    bool packHolds(const char* bytes, size_t n) {
        return readBytes(dir / "a.qrv").find(std::string(bytes, n)) != std::string::npos;
    }

    bool makeSparse(const char* name, uintmax_t size) {
        std::error_code error;
        writeBytes(dir / name, "");
        fs::resize_file(dir / name, size, error);
        return !error;
    }
};

TEST_F(ExitCodes, CommandLineRowsThatReadNothing) {
    struct Row {
        std::vector<std::string> args;
        std::string printed;
        int code;
    };
    const std::vector<Row> rows = {
        {{}, kUsage + kPrompt, 0},
        {{"-o"}, kUsage, 0},
        {{"-o", "-l"}, kUsage, 0},
        {{"a.ase", "-l"}, kUsage, 0},  // a trailing -l: the file is not converted
        {{"-O", "a.ase"}, "ERROR: unknown option 'O'\n", 255},
        {{"-x", "a.ase", "b.ase"}, "ERROR: unknown option 'x'\n", 255},
        {{"-"}, std::string("ERROR: unknown option '\0'\n", 26), 255},
        {{"a.ase", "b.ase"}, "ERROR: dunno what to do with \"b.ase\"\n", 255},
        {{"a.ase", "-o", ""}, "ERROR: dunno what to do with \"\"\n", 255},
    };
    writeBytes(dir / "a.ase", triangleAse());
    for (const Row& row : rows) {
        std::string shown;
        for (const std::string& a : row.args) shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        RunResult r = run(row.args);
        EXPECT_EQ(row.code, r.exitCode);
        EXPECT_EQ(kBannerRest + row.printed, r.output);
        EXPECT_EQ(kQuietLog, readText(dir / "app.log"));
        EXPECT_FALSE(fs::exists(dir / "a.qrv"));
    }
}

TEST_F(ExitCodes, ReaderFailures) {
    fs::create_directory(dir / "folder.ase");
    // The input ends right after a key that wants a value.
    std::string text = triangleAse();
    writeBytes(dir / "cut.ase", text.substr(0, text.find("*MATERIAL_REF") + 14));
    std::vector<std::vector<std::string>> rows = {
        {"missing.ase"}, {"-o", "missing.ase"}, {"folder.ase"}, {"cut.ase", "-o"}};
    if (makeSparse("huge.ase", 2147483648ull)) rows.push_back({"huge.ase"});  // 2 GiB
    for (const std::vector<std::string>& args : rows) {
        const std::string& path = args[0] == "-o" ? args[1] : args[0];
        SCOPED_TRACE(path);
        RunResult r = run(args);
        EXPECT_EQ(255, r.exitCode);
        // No optimization line: it comes only after a successful read.
        EXPECT_EQ(kBannerRest + "ERROR: could not open \"" + path + "\"\n", r.output);
        expectLogFrame();
    }
    EXPECT_FALSE(fs::exists(dir / "cut.qrv"));
}

TEST_F(ExitCodes, Success) {
    writeBytes(dir / "a.ase", triangleAse());
    RunResult r = run({"a.ase"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(kBannerRest + kDone, r.output);
    expectLogFrame();
    // The lightmap name as written: its length with the terminator, then the text.
    EXPECT_TRUE(packHolds("\x0b\0\0\0box_L_0000\0", 15));

    r = run({"-optimize", "a.ase"});  // only the second letter counts
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(kBannerRest + kWeldLine + kDone, r.output);

    r = run({"-l", "-o", "a.ase"});  // -o is the suffix here
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ(kBannerRest + kDone, r.output);
    EXPECT_TRUE(packHolds("\x06\0\0\0box-o\0", 10));

    EXPECT_EQ(0, run({"-l", "_A", "a.ase", "-l", "_B"}).exitCode);  // the later -l wins
    EXPECT_TRUE(packHolds("\x06\0\0\0box_B\0", 10));
}

TEST_F(ExitCodes, MissingMaterialReferenceEndsTheRunQuietly) {
    std::string text = triangleAse();
    text.erase(text.find("\t*MATERIAL_REF 0\n"), 17);
    writeBytes(dir / "a.ase", text);
    RunResult r = run({"a.ase"});
    EXPECT_EQ(255, r.exitCode);
    EXPECT_EQ(kBannerRest, r.output);
    expectLogFrame("ERROR: ");
    EXPECT_FALSE(fs::exists(dir / "a.qrv"));
}

TEST_F(ExitCodes, OutputThatCannotBeWritten) {
    writeBytes(dir / "a.ase", triangleAse());
    fs::create_directory(dir / "a.qrv");  // a directory sits where the pack would go
    RunResult r = run({"a.ase"});
    EXPECT_EQ(255, r.exitCode);
    EXPECT_EQ(kBannerRest + "ERROR: could not write \"a.qrv\"\n", r.output);
    expectLogFrame();
    EXPECT_TRUE(fs::is_directory(dir / "a.qrv"));

    // The input would be its own output: it is left as it was.
    writeBytes(dir / "x.qrv", triangleAse());
    r = run({"-o", "x.qrv"});
    EXPECT_EQ(255, r.exitCode);
    EXPECT_EQ(kBannerRest + kWeldLine + "ERROR: could not write \"x.qrv\"\n", r.output);
    EXPECT_EQ(triangleAse(), readBytes(dir / "x.qrv"));
    expectLogFrame();
}

TEST_F(ExitCodes, OutOfMemoryStillWritesTheLog) {
#if defined(_WIN32)
    GTEST_SKIP() << "no address-space limit for a child process here";
#elif defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime cannot start under a memory limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer runtime cannot start under a memory limit";
#endif
#endif
    // A 1 GiB input cannot be held in 256 MiB of address space.
    if (!makeSparse("big.ase", 1ull << 30)) GTEST_SKIP() << "no sparse 1 GiB file here";
    RunResult r = runTarvolt(dir.path, {"big.ase"}, 256u << 20);
    EXPECT_EQ(255, r.exitCode);
    EXPECT_EQ(kBannerRest + "ERROR: out of memory\n", r.output);
    expectLogFrame();
}

// An input named with a full path elsewhere, through a folder with a space
// in its name: the pack goes beside it. On Windows the path has a drive
// letter and backslashes.
TEST_F(ExitCodes, PackGoesBesideAnInputElsewhere) {
    ScratchDir other;
    const fs::path folder = fs::path(other.path) / "My Scenes";
    fs::create_directory(folder);
    writeBytes((folder / "Hall.ase").string(), triangleAse());
    RunResult r = run({"-o", (folder / "Hall.ase").string()});
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_TRUE(fs::exists(folder / "Hall.qrv"));
    EXPECT_FALSE(fs::exists(dir / "Hall.qrv"));
    expectLogFrame();  // the log stays in the working directory
}

// Standard output and app.log are text: each line ends in the platform's
// line end (CR LF on Windows), and nowhere is a bare '\n' left.
TEST_F(ExitCodes, TextEndsLinesAsThePlatformDoes) {
    writeBytes(dir / "a.ase", triangleAse());
    allowSceneAtExit();
    ProgramRun raw = runProgram(TARVOLT_BINARY, dir.path, {"a.ase"});
    EXPECT_EQ(0, raw.exitCode);
    const std::string log = readBytes(dir / "app.log");
    const std::string* texts[] = {&raw.output, &log};
    for (const std::string* text : texts) {
        size_t ends = 0;
        for (size_t at = 0; (at = text->find(kNativeLineEnd, at)) != std::string::npos; ++at) ++ends;
        EXPECT_EQ((size_t)std::count(text->begin(), text->end(), '\n'), ends) << *text;
    }
    EXPECT_NE(std::string::npos, raw.output.find(native(kBannerRest + kDone))) << raw.output;
    EXPECT_EQ(0u, log.find(native("INIT: begin intialization...\n"))) << log;
    EXPECT_EQ(log.size() - native("EXIT\n").size(), log.rfind(native("EXIT\n"))) << log;
}

}  // namespace
