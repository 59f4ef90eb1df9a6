// The material list: texture names from diffuse bitmaps, submaterials, what
// the Log shows of them, and the ways a list fails.
#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(Materials, TextureNameFromBitmapPath) {
    ensureServices();
    struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\models\\maps\\Wood_Oak.TGA", "Wood_Oak"},
        {"maps/brick.tga", "brick"},
        {"C:\\maps/brick.tga", "maps/brick"},  // a backslash wins over a later slash
        {"archive.tar.gz", "archive.tar"},
        {"C:\\maps.old/brick", "maps.old/brick"},  // the slash ends the search for a dot
        {"Rough Stone 2.Bmp", "Rough Stone 2"},
        {"noext", "noext"},
        {".tga", ""},
    };
    for (const auto& c : cases) {
        String name = textureNameFromPath(c.path);
        ASSERT_NE(nullptr, name.data) << c.path;
        EXPECT_STREQ(c.name, name.data) << c.path;
        EXPECT_EQ((int32_t)strlen(c.name) + 1, name.length) << c.path;
    }
}

TEST(Materials, LogShowsDiffuseTexturesAndDirectSubmaterials) {
    Read read(
        "*MATERIAL_LIST {\n"
        "*MATERIAL_COUNT 5\n"
        "*MATERIAL 5 {\n"
        "  *SHADING Blinn\n"
        "  *MAP_AMBIENT { *BITMAP \"amb.tga\" }\n"
        "  *MAP_DIFFUSE { *MAP_NAME \"x\" *BITMAP \"first.tga\" *BITMAP \"C:\\maps\\second.tga\" }\n"
        "  *MAP_DIFFUSE { *BITMAP \"third.bmp\" }\n"
        "}\n"
        "*MATERIAL 1 {\n"
        "  *MAP_AMBIENT { *BITMAP \"amb.tga\" }\n"
        "  *SUBMATERIAL 7 {\n"
        "    *MAP_DIFFUSE { *BITMAP \"sub0.tga\" }\n"
        "    *SUBMATERIAL 0 { *MAP_DIFFUSE { *BITMAP \"deep.tga\" } }\n"
        "  }\n"
        "  *SUBMATERIAL 3 { *MAP_OPACITY { *BITMAP \"alpha.tga\" } }\n"
        "  *SUBMATERIAL 4 { *MAP_DIFFUSE { *BITMAP \".tga\" } }\n"
        "}\n"
        "}\n");
    EXPECT_EQ(1, read.result);
    EXPECT_EQ((Lines{"material[0]: third", "material[1]: (null)", "\tSubMat[0]: sub0",
                     "\tSubMat[1]: (null)", "\tSubMat[2]: ", "done!"}),
              logLines());
}

TEST(Materials, ListsAddUpAndEachPrintsTheWholeTable) {
    Read two(materialList({"a.tga"}) + materialList({"b.tga"}));
    EXPECT_EQ(1, two.result);
    EXPECT_EQ((Lines{"material[0]: a", "material[0]: a", "material[1]: b", "done!"}), logLines());

    // The count is not used; an unfinished list at the end of input counts.
    Read open("*MATERIAL_LIST {\n*MATERIAL_COUNT 3\n*MATERIAL 0 { }\n*MATERIAL 1 {\n*MAP_DIFFUSE {\n*BITMAP x.tga\n");
    EXPECT_EQ(1, open.result);
    EXPECT_EQ((Lines{"material[0]: (null)", "material[1]: x", "done!"}), logLines());
}

TEST(Materials, DiffuseMapEndsAtItsFirstClosingBrace) {
    // The "}" of *UVGEN ends the map, the map's own "}" ends the material, and
    // the material's "}" ends the list: the second material is never read.
    Read read(
        "*MATERIAL_LIST {\n"
        "*MATERIAL 0 { *MAP_DIFFUSE { *UVGEN { } *BITMAP \"x.tga\" } }\n"
        "*MATERIAL 1 { *MAP_DIFFUSE { *BITMAP \"y.tga\" } }\n"
        "}\n");
    EXPECT_EQ(1, read.result);
    EXPECT_EQ((Lines{"material[0]: (null)", "done!"}), logLines());
}

std::string nestedMaterial(int levels) {
    std::string text = "*MATERIAL_LIST {\n*MATERIAL 0 {\n";
    for (int i = 0; i < levels; ++i) text += "*SUBMATERIAL 0 {\n";
    text += "*MAP_DIFFUSE { *BITMAP \"deep.tga\" }\n";
    for (int i = 0; i <= levels; ++i) text += "}\n";
    return text + "}\n";
}

TEST(Materials, NestingIsBounded) {
    Read deepest(nestedMaterial(32));
    EXPECT_EQ(1, deepest.result);
    EXPECT_EQ((Lines{"material[0]: (null)", "\tSubMat[0]: (null)", "done!"}), logLines());

    // The 33rd *SUBMATERIAL stands on line 2 + 33.
    Read tooDeep(nestedMaterial(33));
    EXPECT_EQ(0, tooDeep.result);
    EXPECT_EQ(1u, logLines().size());
    EXPECT_TRUE(startsWith(lastError(), "ERROR: line 35: ")) << lastError();
}

TEST(Materials, FailuresSayWhereAndEndTheRead) {
    struct {
        const char* text;
        const char* error;  // start of the error line
    } cases[] = {
        {"*MATERIAL_LIST x\n", "ERROR: line 1: "},
        {"*MATERIAL_LIST\n", "ERROR: line "},
        {"*MATERIAL_LIST {\n*MATERIAL_COUNT\n", "ERROR: line "},
        {"*MATERIAL_LIST {\n*MATERIAL\n", "ERROR: line "},
        {"*MATERIAL_LIST {\n*MATERIAL 0 x\n", "ERROR: line 2: "},
        {"*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE x\n", "ERROR: line 3: "},
        {"*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP\n", "ERROR: line "},
        {"*MATERIAL_LIST {\n*MATERIAL 0 {\n*SUBMATERIAL 0 {\n*SUBMATERIAL\n1 {\n*MAP_DIFFUSE }\n",
         "ERROR: line 6: "},
        {"*MATERIAL_LIST {\n*MATERIAL 0 {\n*SUBMATERIAL 0 x\n", "ERROR: line 3: "},
    };
    for (const auto& c : cases) {
        Read read(c.text);
        EXPECT_EQ(0, read.result) << c.text;
        Lines lines = logLines();
        ASSERT_EQ(1u, lines.size()) << c.text;  // no table, no "done!"
        EXPECT_TRUE(startsWith(lines[0], c.error)) << c.text << lines[0];
    }
}

}  // namespace
