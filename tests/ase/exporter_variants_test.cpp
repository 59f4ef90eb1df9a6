// Forms that real exporters write, each beside its plain form: both convert to the same pack, byte for byte, and
// standard error says what was done with the variant; and forms that still fail, saying why.
#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

static std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);  // throws when from is not there
}

TEST(ExporterVariants, ConvertAsTheirPlainFormsOrSayWhyNot) {
    const std::string kTriangle = readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");  // textured, lightmapped
    const std::string kHeader = "*3DSMAX_ASCIIEXPORT 200\n", plain = kHeader + kTriangle;
    const size_t split = kTriangle.find("*GEOMOBJECT");
    const std::string list = kTriangle.substr(0, split), object = kTriangle.substr(split);
    auto cutShort = [](int line) {
        return ": warning: *MATERIAL_LIST opened on line 2 is not closed before the *GEOMOBJECT on line " +
               std::to_string(line) + "; it ends there\n";
    };
    const std::string subMaterials = "*MATERIAL_LIST {\n*MATERIAL 0 {\n*SUBMATERIAL 0 {\n*MAP_DIFFUSE {\n"
                                     "*BITMAP \"a.tga\"\n}\n}\n*SUBMATERIAL 1 {\n*MAP_DIFFUSE {\n*BITMAP \"b.tga\"\n}\n"
                                     "}\n}\n}\n";
    const std::string empty = "*GEOMOBJECT {\n*NODE_TM {\n*NODE_NAME \"Group01\"\n}\n*MESH {\n*MESH_NUMVERTEX 0\n"
                              "*MESH_NUMFACES 0\n*MESH_VERTEX_LIST {\n}\n*MESH_FACE_LIST {\n}\n*MESH_NUMTVERTEX 0\n"
                              "*MESH_NORMALS {\n}\n}\n}\n";
    const std::string channel3 = "*MESH_MAPPINGCHANNEL 3 {\n*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n"
                                 "*MESH_TVERT 0 -1.#IND -1.#IND -1.#IND\n}\n}\n";
    const size_t normalsAt = plain.find("\t\t*MESH_NORMALS");
    const std::string normals = plain.substr(normalsAt, plain.find("\t\t}\n", normalsAt) + 4 - normalsAt);
    const struct {
        std::string variant, plain, said;  // without a plain form the variant fails
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
        // Helpers and groups written as empty geometry objects, with no material: no mesh for them.
        {kHeader + list + empty + object + empty, plain,
         ": warning: geometry object \"Group01\" on line 10 is empty (no vertices, no faces); it is left out of the "
         "pack\n: warning: geometry object \"Group01\" on line 68 is empty (no vertices, no faces); it is left out "
         "of the pack\n"},
        // No normals: the flat triangle's come from its smoothing group.
        {replaced(plain, normals, ""), plain,
         ": warning: geometry object \"Box\": no normals in the file; computed from smoothing groups\n"},
        // Faces but no vertices or the reverse, no texture coordinates (their object's line), no material
        // reference (its error after what was noticed before it).
        {replaced(plain, "*MESH_NUMFACES 1", "*MESH_NUMFACES 0"), "", ":10: error: invalid number of triangles: 0\n"},
        {replaced(plain, "*MESH_NUMTVERTEX 1", "*MESH_NUMTVERTEX 0"), "",
         ":10: error: invalid number of texture coordinates: 0, channel 0\n"},
        {replaced(replaced(plain, "\t*MATERIAL_REF 0\n", ""), "\t\t*MESH_NORMALS", channel3 + "\t\t*MESH_NORMALS"), "",
         ": warning: *MESH_MAPPINGCHANNEL 3 on line 43 is passed over: only channels 1 and 2 are read\n"
         ":10: error: geometry object \"Box\" has no *MATERIAL_REF\n"},
    };
    for (const auto& c : cases) {
        const Converted expected = c.plain.empty() ? Converted{255, "", "", ""} : convert(c.plain);
        const Converted variant = convert(c.variant);
        std::string said;  // standard error's lines, the file's name dropped
        for (size_t at = 0, end; (end = variant.output.find('\n', at)) != std::string::npos; at = end + 1)
            if (variant.output.compare(at, 6, "in.ase") == 0) said += variant.output.substr(at + 6, end - at - 5);
        EXPECT_TRUE(expected.exitCode == variant.exitCode && expected.pack == variant.pack && c.said == said)
            << c.variant << "\nsaid: " << said;
    }
}
