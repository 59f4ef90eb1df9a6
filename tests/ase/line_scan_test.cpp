// Mesh list lines read whole must leave exactly what reading them token by token leaves: the result, every Log
// line, the allocation count and the meshes, however the lines are bent.
#include "ase_fixture.h"
#include "convert_in_memory.h"
#include "ase/line_scan.h"
#include "ase/tokenizer.h"
#include "support/memory_streams.h"
#include "support/rng.h"

#include <gtest/gtest.h>

namespace {

// Faces of a strip, and the lines of every mesh list, tabs between words as exporters write them. Some list their
// normals apart, before or after the face list, some lack the colon after the face number.
std::string plainObject(Rng& rng, int index) {
    const int faces = 4 + (int)rng.below(40);
    Faces list;
    for (int i = 0; i < faces; ++i) list.push_back({i, i + 1, i + 2, (int32_t)rng.below(3)});
    std::string body = meshBlock(faces + 2, list);
    if (rng.below(2)) {
        std::string apart = "*MESH_NORMALS {\n";
        for (int i = 0; i < faces; ++i) apart += "*MESH_FACENORMAL " + str(i) + " 0.0 0.0 1.0\n";
        for (int v = 0; v < faces + 2; ++v) apart += "*MESH_VERTEXNORMAL " + str(v) + " 0.0 " + str(v) + ".5 1.0\n";
        apart += "}\n";
        const std::string lists = rng.below(2) ? "*MESH_NUMFACES " + str(faces) + "\n" + apart + faceList(list)
                                               : faceList(list) + apart;
        body = "*MESH {\n" + vertexList(faces + 2) + lists + tvertList(faces + 2) + tfaceList(list) + "}\n";
    }
    if (rng.below(2))
        for (size_t at; (at = body.find(": A:")) != std::string::npos;) body.erase(at, 1);
    for (char& c : body)
        if (c == ' ' && rng.below(2)) c = '\t';
    return geomObject("Obj" + str(index), body + "*MATERIAL_REF 0\n");
}

// What may stand where a word, a blank or a line end stands: the forms the line readers leave to the tokens,
// and near misses of the forms they take.
const std::vector<std::string> kBends = {
    " ", "\t", "  \t ", "\n", "\r\n", "\r", ":", " : ", "A", " A ", "B: 7 ", " C:", "A:1", "AB",
    "*MESH_MTLID 2 ", "*MESH_MTLID", "*MESH_MTLID:", "*MESH_FACE", "*MESH_VERTEX", "*MESH_VERTEXNORMAL 0", "}", "{",
    "\"x y\"", "//c\n", "/* A: 9 */", "/* *MESH_MTLID 1 */", "\"*MESH_MTLID 1\"", "// *MESH_MTLID 1\n",
    "'*MESH_MTLID 1'", "+1", "1e5", "-.5", "5.", ".", "-", "12x", "0x1A", "99999999999", "-2147483649", "inf", "nan",
    "0.000000000000000000001", "12345678901234567890", "1.2.3", "--1", "wordwordwordwordwordwordwordwordwordword",
    std::string(200, 'w'), std::string(1, '\0'), "*MESH_FACE 0: A: 1 B: 2 C: 3 *MESH_MTLID 0\n",
    "*MESH_FACE 1 A: 1 B: 2 C: 3 *MESH_MTLID 0\n", "*MESH_FACENORMAL 1", "*MESH_FACENORMAL 0 0 0 1\n", "7", " 3 ",
};

// The object's lines with a few bends: a word, blank or line end replaced or joined by one of them.
std::string bent(Rng& rng, std::string text) {
    const int bends = 1 + (int)rng.below(4);
    for (int b = 0; b < bends; ++b) {
        size_t at = text.find("*MESH_VERTEX_LIST");
        at += rng.below((uint32_t)(text.size() - at));
        const std::string& bend = kBends[rng.below((uint32_t)kBends.size())];
        size_t end = at;
        if (rng.below(2))  // replace the word or blank run there
            while (end < text.size() && (text[end] == ' ') == (text[at] == ' ') && text[end] != '\n') ++end;
        text.replace(at, end - at, bend);
    }
    return text;
}

std::string trace(const std::string& text, bool lineScans) {
    return readingTrace((const unsigned char*)text.data(), text.size(), 1, 1 << 30, nullptr, lineScans);
}

TEST(LineScan, BentLinesReadAsTokenByToken) {
    ensureServices();
    int whole = 0;
    for (uint64_t seed = 1; seed <= 3000; ++seed) {
        Rng rng{seed};
        std::string text = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"a.tga|b.tga"});
        const int objects = 1 + (int)rng.below(3);
        for (int i = 0; i < objects; ++i) text += plainObject(rng, i);
        if (seed % 10 != 0) text = bent(rng, text);  // a tenth stay plain: they must read whole
        const std::string byTokens = trace(text, false);
        ASSERT_EQ(byTokens, trace(text, true)) << "seed " << seed;
        whole += byTokens.find("read 1") == 0;
    }
    EXPECT_GT(whole, 600);  // enough read whole that the meshes compare too
}

// Every byte value in each place of a face line's middle, where the scalar and the vector byte tests must agree
// with the tokenizer on what a word holds: the line read whole (when it is) as token by token.
TEST(LineScan, EveryByteInAFaceLineReadsAsTokenByToken) {
    ensureServices();
    const std::string line = "*MESH_FACE 1: A: 1 B: 2 C: 3 AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID 2\n";
    // In a word, for a blank, before the id's star, in the id's keyword, after it, and in the id.
    const size_t places[] = {line.find("BC:") + 1, line.find("CA:") - 1, line.find("*MESH_MTLID") - 1,
                             line.find("*MESH_MTLID") + 5, line.find("*MESH_MTLID") + 11, line.rfind('2')};
    int taken[6] = {};
    for (int k = 0; k < 6; ++k)
        for (int b = 0; b < 256; ++b) {
            const size_t place = places[k];
            std::string bentLine = line;
            bentLine[place] = (char)b;
            const std::string body = vertexList(6) + "*MESH_NUMFACES 3\n*MESH_FACE_LIST {\n" +
                                     "*MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 *MESH_MTLID 0\n" +
                                     bentLine + "*MESH_FACE 2: A: 2 B: 3 C: 4 *MESH_MTLID 1\n}\n";
            const std::string text = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"a.tga|b.tga|c.tga"}) +
                                     geomObject("Obj", "*MESH {\n*MESH_NUMVERTEX 6\n" + body + "}\n*MATERIAL_REF 0\n");
            ASSERT_EQ(trace(text, false), trace(text, true)) << "byte " << b << " at " << place;

            // The line alone, directly: taken whole or not touched.
            Tokenizer tokenizer;
            tokenizer.setDelimiters("{}:");
            ASSERT_TRUE(tokenizer.open(new BytesStream(bentLine + std::string(300, '\n'))));
            FaceIndices face = {};
            if (readFaceLine(tokenizer, 1, face)) {
                ++taken[k];
                EXPECT_TRUE(face.a == 1 && face.b == 2 && face.c == 3) << "byte " << b << " at " << place;
            } else {
                EXPECT_TRUE(tokenizer.expect("*MESH_FACE")) << "byte " << b << " at " << place;
            }
        }
    // In a word the 245 bytes a word may hold (not the 11 that end one); for a blank those, the blanks and the
    // colon; before the id's star a blank or the colon; the id's keyword whole, ended by a blank, its number a digit.
    EXPECT_EQ(245, taken[0]);
    EXPECT_EQ(248, taken[1]);
    EXPECT_EQ(3, taken[2]);
    EXPECT_EQ(1, taken[3]);
    EXPECT_EQ(2, taken[4]);
    EXPECT_EQ(10, taken[5]);
}

// A face line without the colon after its number, as q3map2 writes it, is read whole too (the bent lines above
// compare it with the tokens).
TEST(LineScan, FaceLinesWithoutTheColonReadWhole) {
    ensureServices();
    for (const char* line : {"*MESH_FACE 1 A: 4 B: 5 C: 6 AB: 1 BC: 1 CA: 1 *MESH_SMOOTHING 0 *MESH_MTLID 2\n",
                             "*MESH_FACE\t1\tA:\t4\tB:\t5\tC:\t6\t*MESH_MTLID\t2\n"}) {
        Tokenizer tokenizer;
        tokenizer.setDelimiters("{}:");
        ASSERT_TRUE(tokenizer.open(new BytesStream(line + std::string(300, '\n'))));
        FaceIndices face = {};
        ASSERT_EQ(1, readFaceLine(tokenizer, 1, face)) << line;
        EXPECT_TRUE(face.a == 4 && face.b == 5 && face.c == 6 && face.materialId == 2) << line;
        EXPECT_TRUE(tokenizer.is("2") && tokenizer.nextToken() == Tokenizer::End) << line;
    }
}

// Lines are offered only where the tokens that follow depend on the bytes alone, with the delimiters the line
// readers know, and with the reach they scan ahead.
TEST(LineScan, CursorOnlyInThePlainStateWithTheKnownDelimiters) {
    ensureServices();
    const std::string tail(Tokenizer::kLineReach, '\n');
    auto cursorAfter = [&](const std::string& head, const char* delimiters, int tokens, bool* offered) {
        Tokenizer tokenizer;
        tokenizer.setDelimiters(delimiters);
        if (!tokenizer.open(new BytesStream(head + tail))) return false;
        for (int i = 0; i < tokens; ++i) tokenizer.nextToken();
        const unsigned char* at = tokenizer.cursor();
        *offered = at != nullptr;
        return !at || at == tokenizer.inputBytes() + tokenizer.position();
    };
    const struct {
        const char* head;
        const char* delimiters;
        int tokens;
        bool offered;
    } cases[] = {
        {"a b ", "{}:", 0, true},      {"a b ", "{}:", 1, true},    {"a b ", ":}{", 1, true},
        {"a b ", "{}", 1, false},      {"a b ", "{}:;", 1, false},  {"a b ", "", 1, false},
        {"a: b ", "{}:", 1, false},    {"a: b ", "{}:", 2, true},   {"a\"b c\" d ", "{}:", 1, false},
        {"a/* b */ c ", "{}:", 1, false}, {"a b ", "{}:", 2, true}, {"a b ", "{{}}::", 1, true},
    };
    for (const auto& c : cases) {
        bool offered = false;
        EXPECT_TRUE(cursorAfter(c.head, c.delimiters, c.tokens, &offered)) << c.head;
        EXPECT_EQ(c.offered, offered) << c.head << " after " << c.tokens << " with " << c.delimiters;
    }
    // Fewer than kLineReach bytes ahead, or line scans off: nothing.
    bool offered = true;
    EXPECT_TRUE(cursorAfter("", "{}:", 0, &offered) && offered);
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    ASSERT_TRUE(tokenizer.open(new BytesStream("x" + tail)));
    EXPECT_TRUE(tokenizer.cursor() != nullptr);
    tokenizer.nextToken();
    EXPECT_TRUE(tokenizer.cursor() == nullptr);  // kLineReach - 1 bytes are left
    Tokenizer unscanned;
    unscanned.setDelimiters("{}:");
    unscanned.lineScans = false;
    ASSERT_TRUE(unscanned.open(new BytesStream("x" + tail)));
    EXPECT_TRUE(unscanned.cursor() == nullptr);

    // takeWord makes the word the current token and goes on after its blank, as nextToken would.
    ASSERT_TRUE(tokenizer.open(new BytesStream("  12 34\n" + tail)));
    const unsigned char* at = tokenizer.cursor();
    ASSERT_TRUE(at != nullptr);
    EXPECT_EQ(Tokenizer::Word, tokenizer.takeWord(at + 2, at + 4));
    EXPECT_TRUE(tokenizer.is("12") && tokenizer.textLength() == 2 && !tokenizer.atEnd());
    EXPECT_TRUE(tokenizer.expect("34"));
}

}  // namespace
