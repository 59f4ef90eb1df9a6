// UTF-16 input with a byte-order mark reads and converts exactly as its 8-bit form: the same Log, errors on the
// same lines, the same meshes and allocated bytes, the same output, exit code, pack and app.log, with a warning
// for what had no 8-bit form. Copies are decoded in place; the real binary decodes mapped files apart.
#include "ase/ase_fixture.h"
#include "platform/filesystem.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kScene = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"wood.tga"}) +
                           geomObject("Box", meshBlock(4, {{0, 1, 2, 0}, {1, 2, 3, 0}}) + "*MATERIAL_REF 0\n");

std::u16string widen(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

// The units after a byte-order mark, in either order.
std::string utf16(const std::u16string& units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : units) {
        const char high = (char)(unit >> 8), low = (char)(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// What a read in this process says, or the real binary's run on a file of the bytes.
struct Outcome {
    int result = 0, meshes = 0;
    int32_t allocated = 0;
    std::string log, warnings, failure, pack;
};

Outcome readInput(Stream* stream) {
    resetLog();
    AseReader reader;
    HeapAllocator* heap = dynamic_cast<HeapAllocator*>(gAllocator);
    const int32_t before = heap ? heap->allocatedBytes : 0;
    Scene scene;
    Outcome o;
    o.result = reader.readScene(&scene, stream, "in.ase");
    o.allocated = heap ? heap->allocatedBytes - before : 0;
    o.log = logText(), o.warnings = reader.warnings, o.failure = reader.error.message;
    while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh, ++o.meshes;
    return o;
}

Outcome convert(const std::string& bytes) {
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    ScratchDir dir;
    writeBytes(dir / "in.ase", bytes);
    const ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"in.ase"}, true);
    Outcome o;
    o.result = run.exitCode, o.warnings = fromNative(run.output);  // standard output and error
    o.log = readBytes(dir / "app.log"), o.pack = readBytes(dir / "in.qrv");
    return o;
}

// The decoded input's outcome is the 8-bit form's but for the warning, which it holds once.
void expectSame(const Outcome& eightBit, Outcome decoded, const std::string& warning) {
    const size_t at = decoded.warnings.find(warning);
    ASSERT_NE(std::string::npos, at) << decoded.warnings;
    EXPECT_EQ(eightBit.warnings, decoded.warnings.erase(at, warning.size()));
    EXPECT_EQ(eightBit.result, decoded.result);
    EXPECT_EQ(eightBit.log, decoded.log);
    EXPECT_EQ(eightBit.failure, decoded.failure);
    EXPECT_EQ(eightBit.meshes, decoded.meshes);
    EXPECT_EQ(eightBit.allocated, decoded.allocated);
    EXPECT_TRUE(eightBit.pack == decoded.pack) << eightBit.pack.size() << " and " << decoded.pack.size() << " bytes";
}

}  // namespace

// Each case in either byte order, read here and converted by the binary. The name "Box" stands for the characters
// that differ; those without an 8-bit form are counted in a warning that names the line of the first.
TEST(Utf16Text, ReadsAndConvertsAsItsEightBitForm) {
    ensureServices();
    const size_t box = kScene.find("Box");
    auto named = [&](const std::string& name) { return std::string(kScene).replace(box, 3, name); };
    auto named16 = [&](const std::u16string& name) { return widen(kScene).replace(box, 3, name); };
    auto lost = [&](int n, const std::string& before) {
        return "UTF-16 text: " + str(n) + (n == 1 ? " character" : " characters") + " outside Latin-1 read as '?', " +
               "the first on line " + str(1 + (int)std::count(before.begin(), before.end(), '\n')) + "\n";
    };
    const std::string badVertex = std::string(kScene).replace(kScene.find("*MESH_VERTEX 2"), 14, "*MESH_VERTEX 9"),
                      boxLine = kScene.substr(0, box),
                      half =
                          "UTF-16 text: the last byte is half a character; "
                          "it was left out\n";
    const struct {
        std::u16string units;
        std::string eightBit, warning, extraByte = "";
    } cases[] = {
        {widen(kScene), kScene, ""},
        {widen(badVertex), badVertex, ""},                  // the error names the same line
        {named16(u"W\u00FCrfel"), named("W\xFCrfel"), ""},  // Latin-1 as it is
        {named16(u"\u041A\u0443\u0431"), named("???"), lost(3, boxLine)},
        {named16(u"\U0001F600x"), named("?x"), lost(1, boxLine)},   // a surrogate pair is one character
        {named16(u"\xDC00\xD800"), named("??"), lost(2, boxLine)},  // lone surrogates, each their own
        {widen(kScene) + u"x \xD800", kScene + "x ?", lost(1, kScene)},
        {named16(std::u16string(u"B\0x", 3)), named(std::string("B\0x", 3)), ""},  // a zero unit, a zero byte
        {widen(kScene), kScene, half, "\n"},                                       // one byte short of a unit
        {u"", "", ""},
        {u"", "", half, "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.eightBit.substr(0, 120));
        const Outcome eightBit = readInput(new BytesStream(c.eightBit)), eightBitRun = convert(c.eightBit);
        EXPECT_TRUE(c.eightBit != kScene || (eightBit.meshes == 1 && !eightBitRun.pack.empty()));
        for (bool big : {false, true}) {
            const std::string bytes = utf16(c.units, big) + c.extraByte;
            expectSame(eightBit, readInput(new BytesStream(bytes)), c.warning);
            expectSame(eightBitRun, convert(bytes), c.warning.empty() ? "" : "in.ase: warning: " + c.warning);
        }
    }
    // The same file without its mark is not taken for UTF-16.
    const Outcome unmarked = readInput(new BytesStream(utf16(widen(kScene), false).substr(2)));
    EXPECT_EQ(0, unmarked.meshes);
    EXPECT_EQ(std::string::npos, unmarked.warnings.find("UTF-16"));
}

// The input limit is the file's, mark and all; the decoded text needs memory of its own, half the file's size, and
// when there is none the run says so as for any other lack of memory.
TEST(Utf16Text, TheLimitsOfTheFile) {
    ScratchDir dir;
    writeBytes(dir / "huge.ase", "\xFF\xFE");
    std::error_code error;
    std::filesystem::resize_file(dir / "huge.ase", 2147483648ull, error);
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"huge.ase"}, true);
    EXPECT_EQ(255, run.exitCode);
    EXPECT_NE(std::string::npos, fromNative(run.output).find("huge.ase: error: larger than 2 GiB\n")) << run.output;
#if defined(_WIN32)
    GTEST_SKIP() << "no memory limit for a child on Windows";
#elif defined(__SANITIZE_ADDRESS__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer reserves terabytes of address space";
#endif
#endif
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

// The corpus holds one scene 8-bit with LF line ends, UTF-16 little-endian with CR LF, and big-endian with CR LF
// and three names in Japanese. It is refused, as it has no texture coordinates.
TEST(Utf16Text, TheCorpusScenes) {
    const std::string name = TARVOLT_CORPUS "/assimp_ThreeCubesGreen";
    if (!std::filesystem::exists(name + "_UTF16BE.ASE")) GTEST_SKIP() << "no corpus at " TARVOLT_CORPUS;
    ensureServices();
    Outcome eightBit = readInput(new BytesStream(readBytes(name + ".ASE")));
    const Outcome little = readInput(new BytesStream(readBytes(name + "_UTF16LE.ASE")));
    const Outcome big = readInput(new BytesStream(readBytes(name + "_UTF16BE.ASE")));
    eightBit.allocated = little.allocated;  // the CRs
    expectSame(eightBit, little, "");
    EXPECT_EQ(little.result, big.result);
    EXPECT_TRUE(
        startsWith(big.warnings, "UTF-16 text: 22 characters outside Latin-1 read as '?', the first on line 31\n"))
        << big.warnings;
}

// The decoded text is a copy, but the mapped file stays mapped while it is read: a file cut short before its
// pages were decoded still fails saying so.
TEST(Utf16Text, InputThatShrinksWhileMappedFailsSayingSo) {
#if defined(_WIN32)
    GTEST_SKIP() << "a mapped file cannot be shortened";
#else
    ensureServices();
    std::string text = kScene;
    while (text.size() < (1u << 20)) text += geomObject("Box", meshBlock(3, {{0, 1, 2, 0}}) + "*MATERIAL_REF 0\n");
    ScratchDir dir;
    writeBytes(dir / "cut.ase", utf16(widen(text), true));
    Stream* stream = gFileSystem->openRead((dir / "cut.ase").c_str());
    ASSERT_TRUE(stream != nullptr);
    std::filesystem::resize_file(dir / "cut.ase", 5000);
    const Outcome cut = readInput(stream);
    EXPECT_EQ(0, cut.result);
    EXPECT_EQ("the input file shrank while it was read", cut.failure);
#endif
}
