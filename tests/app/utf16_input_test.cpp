// A file saved as UTF-16 converts as its 8-bit form does: the real binary, on mapped files, gives the same standard
// output, exit code, pack bytes and app.log; only a warning on standard error tells what had no 8-bit form.
#include "support/run_program.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TARVOLT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOLT_ASAN 1
#endif
#endif
#if defined(TARVOLT_ASAN) || defined(_WIN32)
const bool kLimits = false;  // no memory limit for a child on Windows; the sanitizer reserves terabytes
#else
const bool kLimits = true;
#endif

const std::string kScene = "*3DSMAX_ASCIIEXPORT 200\n" + readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");

// text after a byte-order mark; the first name in it, if given, as the units of as.
std::string utf16(const std::string& text, bool bigEndian, const std::string& name = "",
                  const std::u16string& as = u"") {
    std::u16string units;
    const size_t at = name.empty() ? std::string::npos : text.find(name);
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == at) units += as, i += name.size() - 1;
        else units += (char16_t)(unsigned char)text[i];
    }
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : units) {
        const char high = (char)(unit >> 8), low = (char)(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

struct Outputs {
    int exitCode;
    std::string said, log, pack;  // standard output and error, app.log, the pack
};

Outputs convert(const std::string& bytes, const std::vector<std::string>& options, uint64_t addressSpace = 0) {
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    ScratchDir dir;
    writeBytes(dir / "in.ase", bytes);
    std::vector<std::string> args = options;
    args.push_back("in.ase");
    const ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, args, true, addressSpace);
    return {run.exitCode, fromNative(run.output), readBytes(dir / "app.log"), readBytes(dir / "in.qrv")};
}

std::string without(std::string text, const std::string& line) {
    const size_t at = text.find(line);
    return at == std::string::npos ? text : text.erase(at, line.size());
}

void expectSame(const Outputs& eightBit, const Outputs& decoded, const std::string& warning = "") {
    EXPECT_EQ(eightBit.exitCode, decoded.exitCode);
    EXPECT_EQ(eightBit.said, without(decoded.said, warning));
    EXPECT_NE(std::string::npos, decoded.said.find(warning));
    EXPECT_EQ(eightBit.log, decoded.log);
    EXPECT_TRUE(eightBit.pack == decoded.pack) << eightBit.pack.size() << " and " << decoded.pack.size() << " bytes";
}

}  // namespace

TEST(Utf16Input, ConvertsAsItsEightBitForm) {
    std::string badVertex = kScene;  // refused, naming the line
    badVertex.replace(badVertex.find("*MESH_VERTEX 2"), 14, "*MESH_VERTEX 9");
    std::string named = kScene;  // what "Box" in Cyrillic is in 8 bits
    named.replace(named.find("Box"), 3, "???");
    const std::string warning = "in.ase: warning: UTF-16 text: 3 characters outside Latin-1 read as '?', the first "
                                "on line 12\n";
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"-o"}, std::vector<std::string>{"-o", "-l", "_LM"}}) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(std::string(big ? "big" : "little") + "-endian, options " + std::to_string(options.size()));
            const Outputs scene = convert(kScene, options), bad = convert(badVertex, options);
            EXPECT_EQ(0, scene.exitCode);
            expectSame(scene, convert(utf16(kScene, big), options));
            EXPECT_NE(std::string::npos, bad.said.find("in.ase:20: error: expected *MESH_VERTEX 2")) << bad.said;
            expectSame(bad, convert(utf16(badVertex, big), options));
            expectSame(convert(named, options), convert(utf16(kScene, big, "Box", u"\u041A\u0443\u0431"), options),
                       warning);
        }
    }
}

// The input limit is the file's, mark and all; the decoded text needs memory of its own, half the file's size, and
// when there is none the run says so as for any other lack of memory.
TEST(Utf16Input, TheLimitsOfTheFile) {
    std::error_code error;
    ScratchDir dir;
    writeBytes(dir / "huge.ase", "\xFF\xFE");
    std::filesystem::resize_file(dir / "huge.ase", 2147483648ull, error);
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"huge.ase"}, true);
    EXPECT_EQ(255, run.exitCode);
    EXPECT_NE(std::string::npos, fromNative(run.output).find("huge.ase: error: larger than 2 GiB\n")) << run.output;
    if (!kLimits) GTEST_SKIP() << "no memory limit for the program here";
    // 200 MiB mapped and 100 MiB of text do not fit in 256 MiB; the 8-bit form, 100 MiB mapped, does.
    writeBytes(dir / "wide.ase", "\xFE\xFF");
    writeBytes(dir / "narrow.ase", "");
    std::filesystem::resize_file(dir / "wide.ase", 200u << 20);
    std::filesystem::resize_file(dir / "narrow.ase", 100u << 20);
    EXPECT_EQ(0, runProgram(TARVOLT_BINARY, dir.path, {"narrow.ase"}, true, 256u << 20).exitCode);
    run = runProgram(TARVOLT_BINARY, dir.path, {"wide.ase"}, true, 256u << 20);
    EXPECT_EQ(255, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("ERROR: out of memory\nwide.ase: error: out of memory\n"))
        << run.output;
}

// The corpus holds one scene three times: 8-bit with LF line ends, UTF-16 little-endian with CR LF, and UTF-16
// big-endian with CR LF and three names in Japanese. The first two differ only in the count of bytes app.log
// reports (the CRs); the third also in those names, read as '?'. The 8-bit file saved as UTF-16 here is the same.
TEST(Utf16Input, TheCorpusScenes) {
    const std::string corpus = TARVOLT_CORPUS, name = "/assimp_ThreeCubesGreen";
    if (!std::filesystem::exists(corpus + name + "_UTF16BE.ASE")) GTEST_SKIP() << "no corpus at " << corpus;
    const std::string eightBitBytes = readBytes(corpus + name + ".ASE");
    const Outputs eightBit = convert(eightBitBytes, {});
    expectSame(eightBit, convert(utf16(eightBitBytes, false), {}));
    expectSame(eightBit, convert(utf16(eightBitBytes, true), {}));
    const Outputs little = convert(readBytes(corpus + name + "_UTF16LE.ASE"), {});
    const Outputs big = convert(readBytes(corpus + name + "_UTF16BE.ASE"), {});
    auto lines = [](const std::string& text) {  // all but the line of the allocation count
        std::vector<std::string> out;
        for (size_t at = 0, end; at < text.size(); at = end + 1)
            if ((end = text.find('\n', at)) == std::string::npos || text.compare(at, 10, "allocated:") != 0)
                out.push_back(text.substr(at, end - at));
        return out;
    };
    EXPECT_EQ(eightBit.exitCode, little.exitCode);
    EXPECT_EQ(eightBit.said, little.said);
    EXPECT_TRUE(eightBit.pack == little.pack);
    EXPECT_EQ(lines(eightBit.log), lines(little.log));
    const std::string warning = "in.ase: warning: UTF-16 text: 22 characters outside Latin-1 read as '?', the first "
                                "on line 31\n";
    EXPECT_EQ(little.exitCode, big.exitCode);
    EXPECT_NE(std::string::npos, big.said.find(warning)) << big.said;
    const std::vector<std::string> a = lines(little.log), b = lines(big.log);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_TRUE(a[i] == b[i] || b[i].find('?') != std::string::npos) << a[i] << " and " << b[i];
}
