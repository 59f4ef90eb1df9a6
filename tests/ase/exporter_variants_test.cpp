#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

// Forms that real exporters write, each beside its plain form: both convert to the same pack, byte for byte, and
// standard error says what was done with the variant.

static const std::string kTriangle = readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");  // textured, lightmapped
static const std::string kHeader = "*3DSMAX_ASCIIEXPORT 200\n";

static std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct Converted {
    int exitCode;
    std::string pack, errors;  // errors: standard error's lines, the file's name dropped
};

static Converted convert(const ScratchDir& dir, const std::string& text) {
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    writeBytes(dir / "in.ase", text);
    ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"in.ase"}, true);
    std::string output = fromNative(run.output), errors;
    for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1)
        if (output.compare(at, 6, "in.ase") == 0) errors += output.substr(at + 6, end - at - 5);
    return {run.exitCode, run.exitCode == 0 ? readBytes(dir / "in.qrv") : "", errors};
}

TEST(ExporterVariants, ConvertAsTheirPlainForms) {
    const std::string plain = kHeader + kTriangle;
    const size_t split = kTriangle.find("*GEOMOBJECT");
    const std::string list = kTriangle.substr(0, split), object = kTriangle.substr(split);
    auto cutShort = [](int line) {
        return ": warning: *MATERIAL_LIST opened on line 2 is not closed before the *GEOMOBJECT on line " +
               std::to_string(line) + "; it ends there\n";
    };
    const std::string subMaterials = "*MATERIAL_LIST {\n*MATERIAL 0 {\n*SUBMATERIAL 0 {\n*MAP_DIFFUSE {\n"
                                     "*BITMAP \"a.tga\"\n}\n}\n*SUBMATERIAL 1 {\n*MAP_DIFFUSE {\n*BITMAP \"b.tga\"\n}\n"
                                     "}\n}\n}\n";
    std::string empty = "*GEOMOBJECT {\n*NODE_TM {\n*NODE_NAME \"Group01\"\n}\n*MESH {\n*MESH_NUMVERTEX 0\n*MESH_NUMFACES 0\n"
                        "*MESH_VERTEX_LIST {\n}\n*MESH_FACE_LIST {\n}\n*MESH_NUMTVERTEX 0\n*MESH_NORMALS {\n}\n}\n}\n";
    const std::string channel3 = "*MESH_MAPPINGCHANNEL 3 {\n*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n"
                                 "*MESH_TVERT 0 -1.#IND -1.#IND -1.#IND\n}\n}\n";
    struct Case {
        std::string variant, plain, said;
    } cases[] = {
        // A UTF-8 byte-order mark before the header
        {"\xEF\xBB\xBF" + plain, plain, ""},
        // *MATERIAL and *SUBMATERIAL without their numbers, which order makes anyway
        {replaced(plain, "*MATERIAL 0 {", "*MATERIAL {"), plain, ""},
        {kHeader + replaced(replaced(subMaterials, "*SUBMATERIAL 0 {", "*SUBMATERIAL {"), "*SUBMATERIAL 1 {",
                            "*SUBMATERIAL {") + replaced(object, "*MESH_MTLID 0", "*MESH_MTLID 1"),
         kHeader + subMaterials + replaced(object, "*MESH_MTLID 0", "*MESH_MTLID 1"), ""},
        // A list, a material or a submaterial never closed: the object ends them, and is read.
        {kHeader + list.substr(0, list.rfind('}')) + object, plain, cutShort(9)},
        {kHeader + replaced(list, "\t}\n}", "\n}") + object, plain, cutShort(10)},
        {kHeader + replaced(subMaterials, "}\n}\n}\n", "}\n") + object, kHeader + subMaterials + object, cutShort(14)},
        // Mapping channels other than 1 and 2 are passed over whole, whatever they hold.
        {replaced(plain, "\t\t*MESH_NORMALS", channel3 + "\t\t*MESH_NORMALS"), plain,
         ": warning: *MESH_MAPPINGCHANNEL 3 on line 43 is passed over: only channels 1 and 2 are read\n"},
        {replaced(plain, "\t\t*MESH_NORMALS", replaced(channel3, " 3 {", " 0 {") + "\t\t*MESH_NORMALS"), plain,
         ": warning: *MESH_MAPPINGCHANNEL 0 on line 43 is passed over: only channels 1 and 2 are read\n"},
        // Helpers and groups written as empty geometry objects, with no material: no mesh for them.
        {kHeader + list + empty + object + empty, plain,
         ": warning: geometry object \"Group01\" on line 10 is empty (no vertices, no faces); it is left out of the "
         "pack\n: warning: geometry object \"Group01\" on line 68 is empty (no vertices, no faces); it is left out "
         "of the pack\n"},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        const Converted expected = convert(dir, c.plain), variant = convert(dir, c.variant);
        ASSERT_EQ(0, expected.exitCode);
        EXPECT_EQ(0, variant.exitCode) << c.variant;
        EXPECT_TRUE(expected.pack == variant.pack) << c.variant;
        EXPECT_EQ(c.said, variant.errors) << c.variant;
    }
}

// The read-ahead workers meet the variants too: a large scene of empty objects between real ones, with a list
// that an object cuts short in the middle, converts as its plain form.
TEST(ExporterVariants, ReadAheadWorkersReadThemAlike) {
    const size_t split = kTriangle.find("*GEOMOBJECT");
    const std::string list = kTriangle.substr(0, split), object = kTriangle.substr(split);
    const std::string empty = "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 0\n*MESH_NUMFACES 0\n}\n}\n";
    std::string variant = kHeader + list, plain = kHeader + list;
    for (int i = 0; variant.size() < (12u << 20); ++i) {
        variant += (i % 3 == 0 ? empty : "") + object;
        plain += object;
        if (i == 20) {
            variant += list.substr(0, list.rfind('}'));
            plain += list;
        }
    }
    ScratchDir dir;
    const Converted expected = convert(dir, plain), read = convert(dir, variant);
    EXPECT_EQ(0, read.exitCode);
    EXPECT_TRUE(expected.pack == read.pack);
    EXPECT_NE(std::string::npos, read.errors.find(" is not closed before the *GEOMOBJECT"));
}

// What still fails: an object with faces but no vertices or the reverse, one without texture coordinates, and
// one without a material reference, whose error comes after what was noticed before it.
TEST(ExporterVariants, WhatStillFailsSaysWhy) {
    const std::string plain = kHeader + kTriangle;
    const std::string channel3 = "*MESH_MAPPINGCHANNEL 3 {\n}\n";
    const std::pair<std::string, std::string> cases[] = {
        {replaced(plain, "*MESH_NUMVERTEX 3", "*MESH_NUMVERTEX 0"), ": error: invalid number of vertices: 0\n"},
        {replaced(plain, "*MESH_NUMFACES 1", "*MESH_NUMFACES 0"), ": error: invalid number of triangles: 0\n"},
        {replaced(plain, "*MESH_NUMTVERTEX 1", "*MESH_NUMTVERTEX 0"),
         ": error: invalid number of texture coordinates: 0, channel 0\n"},
        {replaced(replaced(plain, "\t*MATERIAL_REF 0\n", ""), "\t\t*MESH_NORMALS", channel3 + "\t\t*MESH_NORMALS"),
         ": warning: *MESH_MAPPINGCHANNEL 3 on line 43 is passed over: only channels 1 and 2 are read\n"
         ":10: error: geometry object \"Box\" has no *MATERIAL_REF\n"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const Converted run = convert(dir, c.first);
        EXPECT_EQ(255, run.exitCode);
        EXPECT_EQ(c.second, run.errors) << c.first;
    }
}
