// However a read goes (lines whole or token by token, on one thread or several taking tiny parts, lines bent,
// anything where a part starts) it leaves the same result, Log lines, allocation count and meshes.
#include "ase_fixture.h"
#include "convert_in_memory.h"

#include "support/test_support.h"
#include <gtest/gtest.h>

namespace {

// What may stand where a word, a blank or a line end stands: forms the line readers leave to the tokens, and near
// misses of the forms they take.
const std::vector<std::string> kBends = {
    " ", "\t", "  \t ", "\n", "\r\n", "\r", ":", " : ", "A", " A ", "B: 7 ", " C:", "A:1", "AB",
    "*MESH_MTLID 2 ", "*MESH_MTLID", "*MESH_MTLID:", "*MESH_FACE", "*MESH_VERTEX", "*MESH_VERTEXNORMAL 0", "}", "{",
    "\"x y\"", "//c\n", "/* A: 9 */", "/* *MESH_MTLID 1 */", "\"*MESH_MTLID 1\"", "'*MESH_MTLID 1'", "+1", "1e5",
    "-.5", "5.", "-", "12x", "0x1A", "99999999999", "-2147483649", "nan", "1.2.3", std::string(200, 'w'),
    std::string(1, '\0'), "*MESH_FACE 1 A: 1 B: 2 C: 3 *MESH_MTLID 0\n", "*MESH_FACENORMAL 1", "7",
    "*MESH_SMOOTHING 3,4 ", "*MESH_SMOOTHING", "*MESH_MTLID 0 *MESH_SMOOTHING 2\n",
};
// What may stand between objects, where a part may start: an empty object, a material list that the next object
// cuts short.
const char* const kBetween[] = {"/* *GEOMOBJECT { } */\n", "*COMMENT \" *GEOMOBJECT\"\n", "*GROUP {\n",
                                "// *GEOMOBJECT\n", "{", "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n",
                                "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 0\n*MESH_NUMFACES 0\n}\n}\n"};

// A strip of faces with its normals per corner or listed apart (before or after the faces), or none (they come from
// the smoothing groups), face numbers with or without their colon; rarely no material reference.
std::string object(Rng& rng, int index) {
    const int faces = 2 + (int)rng.below(30);
    Faces list;
    for (int i = 0; i < faces; ++i) list.push_back({i, i + 1, i + 2, (int32_t)rng.below(3)});
    std::string normals = normalsBlock(list), faceLines = faceList(list);
    std::vector<int> backwards;
    for (int v = faces + 1; v >= 0; --v) backwards.push_back(v);
    if (rng.below(3) == 0) normals = rng.below(2) ? normalsApart(faces, backwards) : "";
    if (rng.below(2))
        for (size_t at; (at = faceLines.find(": A:")) != std::string::npos;) faceLines.erase(at, 1);
    const std::string lists = rng.below(2) ? faceLines + normals : "*MESH_NUMFACES " + str(faces) + "\n" + normals +
                                                                       faceLines;
    std::string body = "*MESH {\n" + vertexList(faces + 2) + lists + tvertList(faces + 2) + tfaceList(list) + "}\n";
    for (char& c : body) c = c == ' ' && rng.below(2) ? '\t' : c;
    return geomObject("Obj" + str(index), body + (rng.below(30) ? "*MATERIAL_REF 0\n" : ""));
}

// The objects' text with a few bends past the material list: a word, blank or line end replaced or joined.
std::string bent(Rng& rng, std::string text) {
    for (int b = 0, bends = 1 + (int)rng.below(4); b < bends; ++b) {
        size_t at = text.find("*GEOMOBJECT");
        at += rng.below((uint32_t)(text.size() - at));
        size_t end = at;
        if (rng.below(2))
            while (end < text.size() && (text[end] == ' ') == (text[at] == ' ') && text[end] != '\n') ++end;
        const uint32_t pick = rng.below((uint32_t)kBends.size() + 8);  // or any byte
        text.replace(at, end - at, pick < kBends.size() ? kBends[pick] : std::string(1, (char)rng.below(256)));
    }
    return text;
}

std::string document(uint64_t seed) {
    Rng rng{seed};
    std::string t = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"a.tga|b.tga"});
    for (int i = 0, objects = 1 + (int)rng.below(6); i < objects; ++i)
        t += (rng.below(3) ? "" : kBetween[rng.below(7)]) + object(rng, i);
    if (seed % 10) t = bent(rng, t);  // a tenth stay plain: they must read whole
    if (rng.below(8) == 0) t.resize(t.size() - rng.below((uint32_t)t.size() / 3));  // cut off
    if (rng.below(8) == 0)
        for (size_t at = 0; (at = t.find('\n', at)) != std::string::npos; at += 2) t.insert(at, "\r");
    return t;
}

int64_t partsTaken = 0;
std::string trace(const std::string& text, int threads, bool lineScans) {
    return readingTrace((const unsigned char*)text.data(), text.size(), threads, threads == 1 ? 1 << 30 : 1,
                        &partsTaken, lineScans);
}

TEST(ReadingPaths, WholeLinesAndWorkersLeaveWhatTokensOnOneThreadLeave) {
    ensureServices();
    int whole = 0;
    const int64_t takenBefore = partsTaken;
    for (uint64_t seed = 1; seed <= 2000; ++seed) {
        const std::string text = document(seed), byTokens = trace(text, 1, false);
        for (int threads : {1, 2, 5}) {
            if (threads > 1 && seed % 5 != 0) continue;
            ASSERT_EQ(byTokens, trace(text, threads, true)) << seed << ", " << threads;
        }
        whole += byTokens.find("read 1") == 0;
    }
    EXPECT_GT(whole, 350);  // enough were read that the meshes compare too
    EXPECT_GT(partsTaken - takenBefore, 300);  // and workers really read parts
}

}  // namespace
