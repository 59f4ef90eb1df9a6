// UTF-16 input with a byte-order mark reads exactly as its 8-bit form: the same Log, errors on the same lines, the
// same meshes and the same count of allocated bytes, with a warning for what had no 8-bit form. These copies are
// decoded in place; the real binary's tests (tests/app/utf16_input_test.cpp) decode mapped files apart.
#include "ase/ase_fixture.h"
#include "ase/utf16_text.h"
#include "platform/filesystem.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kScene = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"wood.tga"}) +
                           geomObject("Box", meshBlock(4, {{0, 1, 2, 0}, {1, 2, 3, 0}}) + "*MATERIAL_REF 0\n");

std::u16string widen(const std::string& bytes) {
    std::u16string units;
    for (char c : bytes) units += (char16_t)(unsigned char)c;
    return units;
}

// The units after a byte-order mark, in either order.
std::string utf16(const std::u16string& units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : units) {
        const char high = (char)(unit >> 8), low = (char)(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

struct Outcome {
    int result = 0;
    std::string log, warnings, failure;
    int meshes = 0;
    int32_t allocated = 0;
};

Outcome readInput(Stream* stream) {
    resetLog();
    MissingRefSeam seam;
    AseReader reader;
    reader.options.missingMaterialRef = MissingRefSeam::record;
    HeapAllocator* heap = dynamic_cast<HeapAllocator*>(gAllocator);
    const int32_t before = heap ? heap->allocatedBytes : 0;
    Scene scene;
    Outcome o;
    o.result = reader.readScene(&scene, stream, "in.ase");
    o.allocated = heap ? heap->allocatedBytes - before : 0;
    o.log = logText(), o.warnings = reader.warnings, o.failure = reader.failure;
    while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh, ++o.meshes;
    return o;
}

void expectSame(const Outcome& eightBit, const Outcome& decoded, const std::string& warnings) {
    EXPECT_EQ(eightBit.result, decoded.result);
    EXPECT_EQ(eightBit.log, decoded.log);
    EXPECT_EQ(eightBit.failure, decoded.failure);
    EXPECT_EQ(eightBit.meshes, decoded.meshes);
    EXPECT_EQ(eightBit.allocated, decoded.allocated);
    EXPECT_EQ(eightBit.warnings + warnings, decoded.warnings);
}

}  // namespace

TEST(Utf16Text, ReadsAsItsEightBitForm) {
    ensureServices();
    const std::string badVertex = replaced(kScene, "*MESH_VERTEX 2", "*MESH_VERTEX 9");
    const int nameLine = 1 + (int)std::count(kScene.begin(), kScene.begin() + kScene.find("\"Box\""), '\n');
    const std::string lines = " the first on line " + std::to_string(nameLine) + "\n";
    // The scene around the name "Box".
    const std::string before = kScene.substr(0, kScene.find("Box")), after = kScene.substr(kScene.find("Box") + 3);
    const std::u16string wideBefore = widen(before), wideAfter = widen(after);
    const std::string half = "UTF-16 text: the last byte is half a character; it was left out\n";
    struct Case {
        std::u16string units;
        std::string eightBit, warnings, extraByte = "";
    };
    const Case cases[] = {
        {widen(kScene), kScene, ""},
        {widen(badVertex), badVertex, ""},  // the error names the same line
        {wideBefore + u"W\u00FCrfel" + wideAfter, before + "W\xFCrfel" + after, ""},  // Latin-1 as it is
        {wideBefore + u"\u041A\u0443\u0431" + wideAfter, before + "???" + after,
         "UTF-16 text: 3 characters outside Latin-1 read as '?'," + lines},
        {wideBefore + u"\U0001F600x" + wideAfter, before + "?x" + after,  // a surrogate pair is one character
         "UTF-16 text: 1 character outside Latin-1 read as '?'," + lines},
        {wideBefore + u"\xDC00\xD800" + wideAfter, before + "??" + after,  // lone surrogates, each its own
         "UTF-16 text: 2 characters outside Latin-1 read as '?'," + lines},
        {widen(kScene) + u"x \xD800", kScene + "x ?", "UTF-16 text: 1 character outside Latin-1 read as '?', the "
         "first on line " + std::to_string(1 + (int)std::count(kScene.begin(), kScene.end(), '\n')) + "\n"},
        // A zero unit is a zero byte.
        {wideBefore + std::u16string(u"B\0x", 3) + wideAfter, before + std::string("B\0x", 3) + after, ""},
        {widen(kScene), kScene, half, "\n"},  // one byte short of a unit
        {u"", "", ""},
        {u"", "", half, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eightBit.substr(0, 120));
        const Outcome eightBit = readInput(new BytesStream(c.eightBit));
        for (bool big : {false, true}) {
            const std::string bytes = utf16(c.units, big) + c.extraByte;
            expectSame(eightBit, readInput(new BytesStream(bytes)), c.warnings);
        }
    }
    // The same file without its mark is not taken for UTF-16.
    const Outcome unmarked = readInput(new BytesStream(utf16(widen(kScene), false).substr(2)));
    EXPECT_EQ(0, unmarked.meshes);
    EXPECT_EQ(std::string::npos, unmarked.warnings.find("UTF-16"));
    // A UTF-8 mark still reads as before: the first word is no keyword, and the rest counts.
    EXPECT_EQ(1, readInput(new BytesStream("\xEF\xBB\xBF" + kScene)).meshes);
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
    const std::string path = dir / "cut.ase";
    writeBytes(path, utf16(widen(text), true));
    Stream* stream = gFileSystem->openRead(path.c_str());
    ASSERT_TRUE(stream != nullptr);
    std::filesystem::resize_file(path, 5000);
    const Outcome cut = readInput(stream);
    EXPECT_EQ(0, cut.result);
    EXPECT_EQ("the input file shrank while it was read", cut.failure);
#endif
}
