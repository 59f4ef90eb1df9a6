// Bad input of every kind goes through the whole conversion in memory (read,
// pack written plain and welded, pack loaded back) and ends in one of the two
// clear outcomes: a pack that loads, or a refusal with an ERROR line in the
// Log. The inputs are made here, not kept as files.
#include "ase/ase_fixture.h"
#include "convert_in_memory.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const Faces kQuad = {{0, 1, 2, 0}, {2, 1, 3, 1}};

// Two objects: one with submaterials and a second texture channel, one with a
// plain material.
std::string validFile() {
    std::string lightmapped = meshBlock(4, kQuad);
    lightmapped.insert(lightmapped.rfind('}'), "*MESH_MAPPINGCHANNEL 2 {\n" + tvertList(4) + tfaceList(kQuad) + "}\n");
    return materialList({"wood", "a|b"}) + geomObject("Box01", lightmapped + "*MATERIAL_REF 1\n") +
           geomObject("Box02", meshBlock(3, {{0, 1, 2, 0}}) + "*MATERIAL_REF 0\n");
}

struct Outcome {
    ConversionOutcome o;
    std::string error;  // the last ERROR line of the Log
};

Outcome convert(const std::string& text) {
    ensureServices();
    Outcome result;
    result.o = convertInMemory((const unsigned char*)text.data(), text.size());
    result.error = lastError();
    return result;
}

// "r" read and packed, "e" refused with an ERROR line starting with prefix.
void expectOutcome(const std::string& what, const std::string& text, char expected,
                   const std::string& prefix = "ERROR: ") {
    SCOPED_TRACE(what);
    Outcome r = convert(text);
    EXPECT_EQ("", r.o.fault);
    if (expected == 'r') {
        EXPECT_TRUE(r.o.read) << r.error;
    } else {
        EXPECT_FALSE(r.o.read);
        EXPECT_TRUE(startsWith(r.error, prefix)) << r.error;
    }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(BadInput, TheValidFileConverts) {
    Outcome r = convert(validFile());
    EXPECT_TRUE(r.o.read) << r.error;
    EXPECT_EQ(2, r.o.meshes);
    EXPECT_EQ("", r.o.fault);
}

TEST(BadInput, TruncatedAtEveryByte) {
    const std::string text = validFile();
    int read = 0;
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        Outcome r = convert(text.substr(0, cut));
        ASSERT_EQ("", r.o.fault) << "cut at byte " << cut;
        read += r.o.read;
    }
    // Cuts inside the material list, between objects and after the last "}"
    // read; most others are refused.
    EXPECT_GT(read, 0);
    EXPECT_LT(read, (int)text.size() / 2);
}

TEST(BadInput, CountsAtAndPastTheirLimits) {
    const std::string base = validFile();
    const std::string verts = "*MESH_NUMVERTEX 3\n";
    // At the limit after the list (which keeps its records), and below the list.
    expectOutcome("vertices 4194304", replaced(base, "*MESH_NUMFACES 1\n", "*MESH_NUMVERTEX 4194304\n*MESH_NUMFACES 1\n"), 'r');
    expectOutcome("vertices 1", replaced(base, verts, "*MESH_NUMVERTEX 1\n"), 'e', "ERROR: line ");
    for (const char* n : {"4194305", "0", "-1", "2147483648", "99999999999999999999", "x"})
        expectOutcome(std::string("vertices ") + n, replaced(base, verts, "*MESH_NUMVERTEX " + std::string(n) + "\n"),
                      'e', "ERROR: invalid number of vertices: ");
    const std::string tverts = "*MESH_NUMTVERTEX 3\n";
    expectOutcome("texture vertices 4194304",
                  replaced(base, "*MESH_NUMTVFACES 1\n", "*MESH_NUMTVERTEX 4194304\n*MESH_NUMTVFACES 1\n"), 'r');
    for (const char* n : {"4194305", "0", "-2147483648"})
        expectOutcome(std::string("texture vertices ") + n,
                      replaced(base, tverts, "*MESH_NUMTVERTEX " + std::string(n) + "\n"), 'e',
                      "ERROR: invalid number of texture coordinates: ");
    // The second channel's count, past its limit.
    std::string second = base;
    second.replace(second.find("*MESH_NUMTVERTEX 4", second.find("*MESH_MAPPINGCHANNEL")), 18, "*MESH_NUMTVERTEX 4194305");
    expectOutcome("second channel past the limit", second, 'e', "ERROR: invalid number of texture coordinates: 4194305, channel 1");
    for (const char* n : {"21846", "0", "-5"})
        expectOutcome(std::string("faces ") + n, replaced(base, "*MESH_NUMFACES 1\n", "*MESH_NUMFACES " + std::string(n) + "\n"),
                      'e', "ERROR: invalid number of triangles: ");
    for (const char* n : {"0", "3", "-1", "2147483647"})
        expectOutcome(std::string("mapping channel ") + n,
                      replaced(base, "*MESH_MAPPINGCHANNEL 2", "*MESH_MAPPINGCHANNEL " + std::string(n)), 'e');
}

TEST(BadInput, TheLargestFaceCountConverts) {
    Faces faces(21845, FaceIndices{0, 1, 2, 0});
    std::string text = materialList({"wood"}) + geomObject("Big", meshBlock(3, faces) + "*MATERIAL_REF 0\n");
    expectOutcome("21845 faces", text, 'r');
    faces.push_back(FaceIndices{0, 1, 2, 0});
    expectOutcome("21846 faces", materialList({"wood"}) + geomObject("Big", meshBlock(3, faces) + "*MATERIAL_REF 0\n"),
                  'e', "ERROR: invalid number of triangles: 21846");
}

TEST(BadInput, ListsThatDisagreeWithTheirCounts) {
    const std::string base = validFile();
    struct {
        const char* what;
        const char* from;
        const char* to;
    } cases[] = {
        {"vertex list short", "*MESH_VERTEX 2 2 4 6\n", ""},
        {"vertex list long", "*MESH_VERTEX 2 2 4 6\n", "*MESH_VERTEX 2 2 4 6\n*MESH_VERTEX 3 3 6 9\n"},
        {"face list short", "*MESH_NUMFACES 1\n", "*MESH_NUMFACES 2\n"},
        {"face list long", "*MESH_NUMFACES 2\n", "*MESH_NUMFACES 1\n"},
        {"texture vertex list short", "*MESH_NUMTVERTEX 3\n", "*MESH_NUMTVERTEX 4\n"},
        {"texture vertex list long", "*MESH_NUMTVERTEX 4\n", "*MESH_NUMTVERTEX 3\n"},
        {"texture faces counted wrong", "*MESH_NUMTVFACES 2\n", "*MESH_NUMTVFACES 3\n"},
        {"texture face missing", "*MESH_TFACE 1 2 1 3\n", ""},
        {"face normal missing", "*MESH_FACENORMAL 1 0.0 0.0 1.0\n", ""},
        {"vertex normal missing", "*MESH_VERTEXNORMAL 3 0.0 0.0 1.0\n", ""},
        {"list before its count", "*MESH_NUMVERTEX 3\n*MESH_VERTEX_LIST {\n", "*MESH_VERTEX_LIST {\n"},
        {"vertex list without braces", "*MESH_VERTEX_LIST {", "*MESH_VERTEX_LIST"},
    };
    for (const auto& c : cases) expectOutcome(c.what, replaced(base, c.from, c.to), 'e');
}

TEST(BadInput, WrongEntryNumbers) {
    const std::string base = validFile();
    struct {
        const char* what;
        const char* from;
        const char* to;
    } cases[] = {
        {"vertex numbered from 1", "*MESH_VERTEX 0 0 0 0\n", "*MESH_VERTEX 1 0 0 0\n"},
        {"vertex number repeated", "*MESH_VERTEX 1 1 2 3\n", "*MESH_VERTEX 0 1 2 3\n"},
        {"face numbered from 1", "*MESH_FACE 0:", "*MESH_FACE 1:"},
        {"face number skipped", "*MESH_FACE 1:", "*MESH_FACE 2:"},
        {"texture vertex number negative", "*MESH_TVERT 0 ", "*MESH_TVERT -1 "},
        {"texture face number huge", "*MESH_TFACE 1 ", "*MESH_TFACE 4294967297 "},
        {"face normal number out of order", "*MESH_FACENORMAL 1 ", "*MESH_FACENORMAL 0 "},
    };
    for (const auto& c : cases) expectOutcome(c.what, replaced(base, c.from, c.to), 'e');
}

TEST(BadInput, IndicesOutOfRange) {
    const std::string base = validFile();
    struct {
        const char* what;
        const char* from;
        const char* to;
        char expected;
    } cases[] = {
        {"corner past the vertices", "A: 2 B: 1 C: 3", "A: 4 B: 1 C: 3", 'e'},
        {"negative corner", "A: 2 B: 1 C: 3", "A: -1 B: 1 C: 3", 'e'},
        {"corner at INT32_MIN", "A: 2 B: 1 C: 3", "A: -2147483648 B: 1 C: 3", 'e'},
        {"texture face past the texture vertices", "*MESH_TFACE 1 2 1 3\n", "*MESH_TFACE 1 2 1 4\n", 'e'},
        {"second channel texture face past its vertices", "*MESH_TFACE 1 2 1 3\n}\n}\n", "*MESH_TFACE 1 2 1 9\n}\n}\n", 'e'},
        {"vertex normal of a missing vertex", "*MESH_VERTEXNORMAL 3 ", "*MESH_VERTEXNORMAL 4 ", 'e'},
        {"vertex normal of a negative vertex", "*MESH_VERTEXNORMAL 3 ", "*MESH_VERTEXNORMAL -7 ", 'e'},
        {"material reference past the table", "*MATERIAL_REF 0\n", "*MATERIAL_REF 2\n", 'r'},
        {"negative material reference", "*MATERIAL_REF 0\n", "*MATERIAL_REF -2\n", 'r'},
        {"material id past the submaterials", "*MESH_MTLID 1\n", "*MESH_MTLID 7\n", 'r'},
        {"negative material id", "*MESH_MTLID 1\n", "*MESH_MTLID -1\n", 'r'},
    };
    for (const auto& c : cases) expectOutcome(c.what, replaced(base, c.from, c.to), c.expected);

    // No reference at all: the run would end there; in memory the object fails.
    SCOPED_TRACE("no material reference");
    Outcome r = convert(replaced(base, "*MATERIAL_REF 0\n", ""));
    EXPECT_EQ("", r.o.fault);
    EXPECT_TRUE(r.o.missingReference);
    EXPECT_EQ("ERROR: no MATERIAL_REF!", r.error);
}

TEST(BadInput, NotANumberAndInfinityAreCopiedAsTheyAre) {
    const std::string base = validFile();
    for (const char* value : {"nan", "-nan", "inf", "-inf", "1e39", "-1e39", "1e-50", "0x1p3", "nan(123)"}) {
        std::string v(value);
        expectOutcome("vertex " + v, replaced(base, "*MESH_VERTEX 1 1 2 3\n", "*MESH_VERTEX 1 " + v + " " + v + " 3\n"), 'r');
        expectOutcome("normal " + v, replaced(base, "*MESH_VERTEXNORMAL 1 0.0 0.0 1.0\n", "*MESH_VERTEXNORMAL 1 " + v + " 0.0 " + v + "\n"), 'r');
        expectOutcome("texture vertex " + v,
                      replaced(base, "*MESH_TVERT 1 0.125000 0.875000 0.0\n", "*MESH_TVERT 1 " + v + " " + v + " 0.0\n"), 'r');
    }
    // Every position not a number: the bounds keep their starting extremes.
    std::string allNan = validFile();
    for (size_t at; (at = allNan.find("*MESH_VERTEX ")) != std::string::npos;) {
        size_t end = allNan.find('\n', at);
        std::string number = allNan.substr(at + 13, allNan.find(' ', at + 13) - at - 13);
        allNan.replace(at, end - at, "*MESH_VERTEX_ " + number + " nan nan nan");
    }
    for (size_t at; (at = allNan.find("*MESH_VERTEX_ ")) != std::string::npos;) allNan.replace(at, 14, "*MESH_VERTEX ");
    expectOutcome("every position nan", allNan, 'r');
}

TEST(BadInput, EmptyBlankAndGarbage) {
    for (const char* text : {"", " ", "\n\n\n", "\t \r\n \r", "// only a comment", "/* unterminated", "\"unterminated"})
        expectOutcome(std::string("blank: ") + text, text, 'r');
    std::string nuls(4096, '\0');
    expectOutcome("zero bytes", nuls, 'r');

    std::mt19937 random(20261206);
    for (int i = 0; i < 200; ++i) {
        std::string bytes(1 + random() % 3000, '\0');
        for (char& c : bytes) c = (char)(random() & 0xFF);
        Outcome r = convert(bytes);
        ASSERT_EQ("", r.o.fault) << "garbage " << i;
    }
    // Garbage made of the file's own tokens, shuffled.
    std::string text = validFile();
    std::vector<std::string> tokens;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find_first_of(" \n", at);
        if (end == std::string::npos) end = text.size();
        tokens.push_back(text.substr(at, end - at));
    }
    for (int i = 0; i < 200; ++i) {
        std::shuffle(tokens.begin() + 1, tokens.end(), random);
        std::string shuffled;
        for (const std::string& t : tokens) shuffled += t + (random() % 4 ? " " : "\n");
        Outcome r = convert(shuffled);
        ASSERT_EQ("", r.o.fault) << "shuffled " << i;
    }
}

TEST(BadInput, Utf16Text) {
    // Each character followed (or preceded) by a zero byte: the zero bytes are
    // word characters, so no keyword matches and nothing is converted.
    const std::string text = validFile();
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (char c : text) {
        little += c, little += '\0';
        big += '\0', big += c;
    }
    expectOutcome("UTF-16LE", little, 'r');
    expectOutcome("UTF-16BE", big, 'r');
    Outcome r = convert(little);
    EXPECT_EQ(0, r.o.meshes);
}

TEST(BadInput, VeryLongWordsAndLines) {
    const std::string base = validFile();
    std::string word(1 << 20, 'x');
    expectOutcome("1 MB word", word + "\n", 'r');
    expectOutcome("1 MB word as a name", replaced(base, "*NODE_NAME \"Box01\"\n*TM", "*NODE_NAME \"" + word + "\"\n*TM"), 'r');
    expectOutcome("1 MB bitmap path", replaced(base, "C:\\maps\\wood", "C:\\maps\\" + word), 'r');
    std::string digits(1 << 20, '7');
    expectOutcome("1 MB number", replaced(base, "*MESH_VERTEX 1 1 2 3\n", "*MESH_VERTEX 1 " + digits + " 2 3\n"), 'r');
    expectOutcome("1 MB count", replaced(base, "*MESH_NUMVERTEX 3\n", "*MESH_NUMVERTEX " + digits + "\n"), 'e',
                  "ERROR: invalid number of vertices: 2147483647");
    std::string line;
    while (line.size() < (1 << 20)) line += "*COMMENT 1.0 ";
    expectOutcome("1 MB line", base + line + "\n", 'r');
    std::string flat = base;
    for (char& c : flat)
        if (c == '\n') c = ' ';
    expectOutcome("the whole file on one line", flat + "\n", 'r');
}

TEST(BadInput, DeeplyNestedBraces) {
    const int depth = 100000;
    std::string open(depth, '{'), close(depth, '}');
    const std::string base = validFile();
    expectOutcome("top level", open + close + base, 'r');
    expectOutcome("top level, never closed", base + open, 'r');
    expectOutcome("in an object", replaced(base, "*MATERIAL_REF 0\n", "*TM_ANIMATION " + open + close + "\n*MATERIAL_REF 0\n"), 'r');
    expectOutcome("in an object, never closed", replaced(base, "*MATERIAL_REF 0\n", "*TM_ANIMATION " + open), 'e');
    expectOutcome("in a mesh", replaced(base, "*MESH_NORMALS", "*MESH_CVERTLIST " + open + close + "\n*MESH_NORMALS"), 'r');
    expectOutcome("in a material", replaced(base, "*MATERIAL_NAME", "*MAP_AMBIENT " + open + close + "\n*MATERIAL_NAME"), 'r');
    expectOutcome("in a material, never closed", replaced(base, "*MATERIAL_NAME", "*MAP_AMBIENT " + open), 'r');
}

std::string nestedSubmaterials(int levels) {
    std::string text = "*MATERIAL_LIST {\n*MATERIAL 0 {\n";
    for (int i = 0; i < levels; ++i) text += "*SUBMATERIAL 0 {\n";
    text += std::string(levels, '}') + "\n}\n}\n";
    return text;
}

TEST(BadInput, DeeplyNestedSubmaterials) {
    // 32 levels below *MATERIAL are read, copied and destroyed; one more, or
    // 100,000, fail the material list with a reason.
    const std::string object = geomObject("Box", meshBlock(3, {{0, 1, 2, 0}}) + "*MATERIAL_REF 0\n");
    expectOutcome("32 levels", nestedSubmaterials(32) + object, 'r');
    expectOutcome("33 levels", nestedSubmaterials(33) + object, 'e', "ERROR: line 35: ");
    expectOutcome("100,000 levels", nestedSubmaterials(100000) + object, 'e', "ERROR: line 35: ");
}

}  // namespace
