// Bad input of every kind, and every input the fuzzer once failed on, goes through the whole conversion in memory
// and ends in one of the two clear outcomes: packs that load, or a refusal with an ERROR line in the Log.
#include "convert_in_memory.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

TEST(BadInput, EveryInputEndsClearly) {
    const std::string base = readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");  // one object, two channels
    const std::string wedge = readBytes(TARVOLT_TEST_DATA "/app/wedge_normals_apart.ase");
    auto edit = [&](const std::string& from, const std::string& to) {  // throws when from is not there
        return std::string(base).replace(base.find(from), from.size(), to); };
    const std::string word(1 << 20, 'w');
    std::string utf16 = "\xFF\xFE", line;
    for (char c : base) utf16 += c, utf16 += '\0';
    while (line.size() < (1 << 20)) line += "*COMMENT 1.0 ";
    const int E = -1, kAny = -2;  // refused, either; otherwise the number of meshes read
    struct Case { std::string text; int meshes; std::string why = ""; };  // why: a text in the Log
    std::vector<Case> cases = {
        {edit("*MESH_NUMVERTEX 3", "*MESH_NUMVERTEX 4194305"), E, "ERROR: invalid number of vertices: 4194305"},
        {edit("*MESH_FACE_LIST", "*MESH_NUMVERTEX 4194304 *MESH_FACE_LIST"), 1},  // the largest, after the list
        {edit("2 {\n\t\t\t*MESH_NUMTVERTEX 1", "2 { *MESH_NUMTVERTEX 4194305"), E, "coordinates: 4194305, channel 1"},
        {edit("*MESH_NUMFACES 1", "*MESH_NUMFACES 21846"), E, "ERROR: invalid number of triangles: 21846"},
        {edit("*MESH_NUMTVFACES 1", "*MESH_NUMTVFACES 2"), E},  // a list that disagrees with its count
        {edit("*MESH_TFACE 0 ", "*MESH_TFACE 4294967296 "), E},  // a wrong entry number
        {edit("A: 0", "A: -2147483648"), E},  // indices out of range: geometry refused, materials fall back
        {edit("*MESH_TFACE 0 0 0 0\n\t\t\t}\n\t\t}", "*MESH_TFACE 0 0 0 9 } }"), E},
        {edit("*MESH_VERTEXNORMAL 2 ", "*MESH_VERTEXNORMAL 3 "), E},
        {edit("*MESH_VERTEXNORMAL 0 ", "*MESH_FACENORMAL 1 0 0 1 *MESH_VERTEXNORMAL 0 "), E, "more face normals"},
        {wedge, 1},  // normals listed apart
        {std::string(wedge).replace(wedge.find("\t\t*MESH_NORMALS"), 2, "*MESH_NUMVERTEX 4194304 "), E,
         "no normal for 4194300 of 4194304 vertices"},
        {edit("*MATERIAL_REF 0", "*MATERIAL_REF 1"), 1},
        {edit("*MATERIAL_REF 0", ""), E, "ERROR: no MATERIAL_REF!"},  // the run would end here
        {edit("*MESH_VERTEX 1 1 0 0", "*MESH_VERTEX 1 nan -inf 1e39"), 1},  // copied as they are
        {" \t\r\n\n", 0},
        {utf16, 1},  // decoded first
        {word, 0}, {edit("\"Box\"", "\"" + word + "\""), 1}, {base + line + "\n", 1},
        {edit("*MATERIAL_REF 0", "*TM_ANIMATION " + std::string(100000, '{')), E},
    };
    for (size_t cut = 0; cut < base.size(); ++cut) cases.push_back({base.substr(0, cut), kAny});
    Rng rng{20261206};
    for (int i = 0; i < 200; ++i)
        for (char& c : cases.emplace_back(Case{std::string(1 + rng.below(3000), '\0'), kAny}).text) c = (char)rng.next();
    for (const auto& entry : std::filesystem::directory_iterator(TARVOLT_TEST_DATA "/fuzz_regressions"))
        cases.push_back({readBytes(entry.path().string()), kAny});
    ensureServices();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 300));
        ConversionOutcome outcome = convertInMemory((const unsigned char*)c.text.data(), c.text.size());
        ASSERT_EQ("", outcome.fault);
        EXPECT_TRUE(c.meshes == kAny || c.meshes == (outcome.read ? outcome.meshes : E)) << logText();
        EXPECT_NE(std::string::npos, logText().find(c.why)) << logText();
    }
}
