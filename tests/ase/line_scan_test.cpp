// Mesh list lines read whole must leave exactly what reading them token by token leaves: the result, every Log
// line, the allocation count and the meshes, however the lines are bent.
#include "ase_fixture.h"
#include "convert_in_memory.h"
#include "ase/tokenizer.h"
#include "support/rng.h"

#include <gtest/gtest.h>

namespace {

// Faces of a strip, and the lines of every mesh list, tabs between words as exporters write them.
std::string plainObject(Rng& rng, int index) {
    const int faces = 4 + (int)rng.below(40);
    Faces list;
    for (int i = 0; i < faces; ++i) list.push_back({i, i + 1, i + 2, (int32_t)rng.below(3)});
    std::string body = meshBlock(faces + 2, list);
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
    Tokenizer::lineScans = lineScans;
    std::string t = readingTrace((const unsigned char*)text.data(), text.size(), 1, 1 << 30);
    Tokenizer::lineScans = true;
    return t;
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

}  // namespace
