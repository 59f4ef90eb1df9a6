// The table logged after each material list: however many lists and however
// large the table, the Log ends up holding exactly what logging every line
// after every list leaves in it.
#include "ase/ase_fixture.h"
#include "platform/log.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void releaseScene(Scene& scene) {
    while (Mesh* mesh = scene.head) {
        scene.head = mesh->next;
        delete mesh;
    }
}

// The reader's loop as written down: every list logs the whole table at once.
int readLoggingEveryLine(const std::string& text) {
    resetLog();
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    tokenizer.open(new BytesStream(text));
    MaterialTable materials;
    Scene scene;
    int result = 1;
    while (result && tokenizer.nextToken()) {
        if (tokenizer.is("*GEOMOBJECT")) {
            Mesh* mesh = new Mesh();
            if (!parseGeomObject(mesh, tokenizer, materials)) {
                delete mesh;
                result = 0;
                break;
            }
            gLog->print("mesh: %s\n", mesh->name.printable());
            scene.link(mesh);
        }
        if (tokenizer.is("*MATERIAL_LIST") && !parseMaterialList(tokenizer, materials)) result = 0;
    }
    if (result) gLog->print("done!\n");
    destroyMaterials(materials);
    releaseScene(scene);
    return result;
}

struct LogState {
    std::string text;
    int32_t used, pending;
    bool operator==(const LogState& o) const { return text == o.text && used == o.used && pending == o.pending; }
};

LogState logState() { return {logText(), gLog->used, gLog->pending}; }

void expectSameLog(const std::string& text, const std::string& what) {
    int expectedResult = readLoggingEveryLine(text);
    LogState expected = logState();
    Read read(text);
    EXPECT_EQ(expectedResult, read.result) << what;
    LogState got = logState();
    EXPECT_TRUE(expected == got) << what << ": used " << got.used << " for " << expected.used
                                 << ", pending " << got.pending << " for " << expected.pending
                                 << "\nexpected ends:\n" << expected.text.substr(expected.text.size() - std::min<size_t>(expected.text.size(), 300))
                                 << "\ngot ends:\n" << got.text.substr(got.text.size() - std::min<size_t>(got.text.size(), 300));
}

// A list of count materials whose names vary in length; some have
// submaterials, some no texture at all.
std::string list(std::mt19937& random, int count) {
    Lines entries;
    for (int i = 0; i < count; ++i) {
        int kind = (int)(random() % 6);
        std::string name(1 + random() % 40, (char)('a' + random() % 26));
        if (kind == 0) name.clear();
        if (kind == 1) name = name + "|" + std::string(random() % 200, 'z') + "|";
        entries.push_back(name);
    }
    return materialList(entries);
}

TEST(MaterialLog, SameLogAsLoggingEveryLine) {
    std::mt19937 random(5);
    const std::string object = "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"o\" }\n*MATERIAL_REF 0\n}\n";
    const std::vector<std::string> failures = {
        "*MATERIAL_LIST x\n", "*MATERIAL_LIST {\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP",
        "*MATERIAL_LIST {\n*MATERIAL 0 \"" + std::string(3000, 'q') + "\"\n"};
    for (int size : {1, 37, 400, 1500, 3000}) {
        for (int round = 0; round < 6; ++round) {
            std::string text = materialList({"first"});
            int lists = 1 + (int)(random() % 25);
            for (int i = 0; i < lists; ++i) {
                text += list(random, random() % 3 == 0 ? 0 : size);
                if (round % 2 && random() % 4 == 0) text += object;
            }
            if (round >= 3) text += failures[round - 3];
            expectSameLog(text, "size " + std::to_string(size) + ", round " + std::to_string(round));
        }
    }
}

TEST(MaterialLog, ManyListsOverALargeTable) {
    // 20,000 materials, then 20,000 empty lists: each list logs the whole
    // table; only the last one survives in the Log.
    std::string text = "*MATERIAL_LIST {\n";
    for (int i = 0; i < 20000; ++i) text += "*MATERIAL " + str(i) + " { *MAP_DIFFUSE { *BITMAP \"t" + str(i) + ".tga\" } }\n";
    text += "}\n";
    for (int i = 0; i < 20000; ++i) text += "*MATERIAL_LIST { }\n";
    Read read(text);
    EXPECT_EQ(1, read.result);
    Lines lines = logLines();
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ("material[19999]: t19999", lines[lines.size() - 2]);
    EXPECT_EQ("done!", lines.back());
}

}  // namespace
