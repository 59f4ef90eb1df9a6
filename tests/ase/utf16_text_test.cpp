// UTF-16 input with a byte-order mark reads and converts exactly as its 8-bit form (Log, error lines, meshes,
// allocations, output, exit code, pack, app.log), with a warning for what had no 8-bit form.
#include "ase/ase_fixture.h"
#include "convert_in_memory.h"
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kScene = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"wood.tga"}) +
                           geomObject("Box", meshBlock(4, {{0, 1, 2, 0}, {1, 2, 3, 0}}) + "*MATERIAL_REF 0\n");

std::u16string widen(const std::string& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

// The units after a byte-order mark, in either order.
std::string utf16(const std::u16string& units, bool big) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : units) bytes += big ? std::string{(char)(u >> 8), (char)u} : std::string{(char)u, (char)(u >> 8)};
    return bytes;
}

std::string trace(const std::string& b) { return readingTrace((const unsigned char*)b.data(), b.size(), 1, 1 << 30); }

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
                      half = "UTF-16 text: the last byte is half a character; it was left out\n";
    const struct {
        std::u16string units;
        std::string eightBit, warning, extraByte = "";
    } cases[] = {
        {widen(kScene), kScene, ""},
        {widen(badVertex), badVertex, ""},                  // the error names the same line
        {named16(u"W\u00FCrf\u00FFl"), named("W\xFCrf\xFFl"), ""},  // Latin-1 as it is
        {named16(u"\u041A\u0443\u0431"), named("???"), lost(3, kScene.substr(0, box))},
        {named16(u"\U0001F600x"), named("?x"), lost(1, kScene.substr(0, box))},   // a surrogate pair is one character
        {named16(u"\xDC00\xD800"), named("??"), lost(2, kScene.substr(0, box))},  // lone surrogates, each their own
        {widen(kScene) + u"x \xD800", kScene + "x ?", lost(1, kScene)},
        {named16(std::u16string(u"B\0x", 3)), named(std::string("B\0x", 3)), ""},  // a zero unit, a zero byte
        {widen(kScene), kScene, half, "\n"},                                       // one byte short of a unit
        {u"", "", half, "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.eightBit.substr(0, 120));
        const std::string eightBit = trace(c.eightBit);
        const Converted eightBitRun = convert(c.eightBit);
        EXPECT_TRUE(c.eightBit != kScene || (eightBit.find("read 1") == 0 && !eightBitRun.pack.empty()));
        for (bool big : {false, true}) {
            const std::string bytes = utf16(c.units, big) + c.extraByte;
            EXPECT_EQ(eightBit, trace(bytes));
            Converted decoded = convert(bytes);
            const std::string warning = c.warning.empty() ? "" : "in.ase: warning: " + c.warning;
            const size_t at = decoded.output.find(warning);
            ASSERT_NE(std::string::npos, at) << decoded.output;
            EXPECT_EQ(eightBitRun.output, decoded.output.erase(at, warning.size()));
            EXPECT_TRUE(eightBitRun.exitCode == decoded.exitCode && eightBitRun.log == decoded.log &&
                        eightBitRun.pack == decoded.pack) << decoded.log;
        }
    }
    // The same file without its mark is not taken for UTF-16.
    EXPECT_EQ(std::string::npos, convert(utf16(widen(kScene), false).substr(2)).output.find("UTF-16"));
}

// The decoded text needs memory of its own, half the file's size; when there is none the run says so as for any
// other lack of memory: 200 MiB mapped and 100 MiB of text do not fit in 256 MiB, the 8-bit form, 100 MiB, does.
TEST(Utf16Text, DecodedTextBeyondTheMemoryLimit) {
    if (!kMemoryLimits) GTEST_SKIP() << "no memory limit for a child here";
    ScratchDir dir;
    writeBytes(dir / "wide.ase", "\xFE\xFF");
    writeBytes(dir / "narrow.ase", "");
    std::filesystem::resize_file(dir / "wide.ase", 200u << 20);
    std::filesystem::resize_file(dir / "narrow.ase", 100u << 20);
    EXPECT_EQ(0, runProgram(TARVOLT_BINARY, dir.path, {"narrow.ase"}, true, 256u << 20).exitCode);
    const ProgramRun wide = runProgram(TARVOLT_BINARY, dir.path, {"wide.ase"}, true, 256u << 20);
    EXPECT_EQ(255, wide.exitCode);
    EXPECT_NE(std::string::npos, wide.output.find("ERROR: out of memory\nwide.ase: error: out of memory\n"))
        << wide.output;
}

// A mapped input cut short after it was opened, 8-bit or UTF-16 (decoded from the mapping): the lost pages fault,
// read as zeros, and the read, on one thread or several, ends through its usual paths and then fails saying so.
// The next read of the same file knows nothing of it.
TEST(Utf16Text, InputThatShrinksWhileMappedFailsSayingSo) {
#if defined(_WIN32)
    GTEST_SKIP() << "a mapped file cannot be shortened";
#else
    ensureServices();
    std::string text = kScene;
    while (text.size() < (1u << 20)) text += geomObject("Box", meshBlock(3, {{0, 1, 2, 0}}) + "*MATERIAL_REF 0\n");
    ScratchDir dir;
    const std::string path = dir / "cut.ase";
    for (int threads : {1, 3})
        for (const std::string& bytes : {text, utf16(widen(text), true)}) {
            writeBytes(path, bytes);
            Stream* stream = gFileSystem->openRead(path.c_str());
            ASSERT_TRUE(stream != nullptr);
            std::filesystem::resize_file(path, 5000);  // the mapping still spans the whole length
            for (int read = 0; read < 2; ++read) {  // cut short, then whole again
                resetLog();
                AseReader reader;
                reader.options.threads = threads;
                reader.options.minimumPartBytes = 1 << 16;
                Scene scene;
                EXPECT_EQ(read, reader.readScene(&scene, read ? gFileSystem->openRead(path.c_str()) : stream));
                EXPECT_STREQ(read ? "" : "the input file shrank while it was read", reader.error.message);
                EXPECT_TRUE(read || bytes != text || logText().find("mesh: Box\n") != std::string::npos);
                while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh;
                writeBytes(path, bytes);
            }
        }
#endif
}
