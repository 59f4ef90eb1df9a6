// Memory and time stay bounded by the work a file really asks for: counts
// that claim the largest lists, repeated or changing counts and many blocks
// cost what the file holds, not what it declares. Peak resident memory of a
// run on any input under 1 MB stays below 256 MB.
#include "app/clear_outcome.h"

#include <gtest/gtest.h>

namespace {

const long kPeakLimitKiB = 256 * 1024;
// The sanitizer's own bookkeeping for every large block makes runs many times
// slower there, so its build runs the same shapes at a twentieth of the size.
const size_t kInputLimit = TARVOLT_TESTS_SANITIZED ? 50 * 1000 : 1000 * 1000;

const std::string kMaterials =
    "*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*MAP_DIFFUSE { *BITMAP \"a.tga\" }\n}\n}\n";
// One face over vertices 0, 1, 2, with texture faces and normals.
const std::string kOneFace =
    "*MESH_NUMFACES 1\n*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 2 *MESH_MTLID 0\n}\n"
    "*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n}\n"
    "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 0 0 0 1\n"
    "*MESH_VERTEXNORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 2 0 0 1\n}\n";

// prefix, then unit as often as it fits below 1 MB with suffix.
std::string repeated(const std::string& prefix, const std::string& unit, const std::string& suffix = "") {
    std::string text = prefix;
    while (text.size() + unit.size() + suffix.size() < kInputLimit) text += unit;
    return text + suffix;
}

std::string object(const std::string& meshBody) {
    return "*GEOMOBJECT {\n*NODE_TM { *NODE_NAME \"o\" }\n*MESH {\n" + meshBody + "}\n*MATERIAL_REF 0\n}\n";
}

struct Case {
    const char* name;
    std::string text;
};

std::vector<Case> cases() {
    const std::string largest = "*MESH_NUMVERTEX 4194304\n*MESH_NUMTVERTEX 4194304\n";
    const std::string secondChannel = "*MESH_MAPPINGCHANNEL 2 {\n*MESH_NUMTVERTEX 4194304\n"
                                      "*MESH_TFACELIST {\n*MESH_TFACE 0 0 1 2\n}\n}\n";
    std::string regrown;
    for (int i = 0; i < 3; ++i)
        regrown += "*MESH_NUMVERTEX 4194303\n*MESH_NUMVERTEX 4194304\n*MESH_NUMTVERTEX 4194303\n"
                   "*MESH_NUMTVERTEX 4194304\n";
    return {
        // Accepted objects that each claim the largest counts in both channels.
        {"largest counts, accepted", repeated(kMaterials, object(largest + kOneFace + secondChannel))},
        // The same with 21845 faces declared and no face list: refused.
        {"largest counts, faces declared",
         repeated(kMaterials, object(largest + "*MESH_NUMFACES 21845\n" + secondChannel))},
        {"counts grown again and again", repeated(kMaterials, object(regrown + kOneFace))},
        {"one count toggled",
         repeated(kMaterials + "*GEOMOBJECT {\n*MESH {\n",
                  "*MESH_NUMVERTEX 4194303\n*MESH_NUMVERTEX 4194304\n", "}\n*MATERIAL_REF 0\n}\n")},
        {"face count toggled",
         repeated(kMaterials + "*GEOMOBJECT {\n*MESH {\n", "*MESH_NUMFACES 21844\n*MESH_NUMFACES 21845\n",
                  "}\n*MATERIAL_REF 0\n}\n")},
        {"texture count toggled in the second channel",
         repeated(kMaterials + "*GEOMOBJECT {\n*MESH {\n*MESH_MAPPINGCHANNEL 2 {\n",
                  "*MESH_NUMTVERTEX 2097151\n*MESH_NUMTVERTEX 2097152\n", "}\n}\n*MATERIAL_REF 0\n}\n")},
        {"normals blocks over the largest vertex count",
         repeated(kMaterials + "*GEOMOBJECT {\n*MESH {\n*MESH_NUMVERTEX 4194304\n*MESH_NUMFACES 1\n",
                  "*MESH_NORMALS {\n*MESH_FACENORMAL 0 0 0 1\n*MESH_VERTEXNORMAL 4194303 0 0 1\n"
                  "*MESH_VERTEXNORMAL 1 0 0 1\n*MESH_VERTEXNORMAL 2 0 0 1\n}\n",
                  "}\n*MATERIAL_REF 0\n}\n")},
        {"many mesh blocks in one object",
         repeated(kMaterials + "*GEOMOBJECT {\n",
                  "*MESH {\n*MESH_NUMVERTEX 2097152\n}\n*MESH {\n*MESH_NUMVERTEX 2097151\n}\n",
                  "*MATERIAL_REF 0\n}\n")},
    };
}

TEST(MemoryBound, CraftedCountsCostWhatTheFileHolds) {
#if defined(_WIN32)
    GTEST_SKIP() << "peak memory is measured on POSIX only";
#endif
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.text.size(), kInputLimit);
        ScratchDir dir;
        writeBytes(dir / "in.ase", c.text);
        std::vector<std::string> before = filesIn(dir.path);
        MeasuredRun run = runMeasured(dir.path, {"in.ase"}, 0, 60);
        std::cout << "  " << c.name << ": exit " << run.exitCode << ", peak " << run.peakKiB / 1024
                  << " MB\n";
        expectClearOutcome(run, dir.path, dir / "in.qrv", before, "");
        if (!TARVOLT_TESTS_SANITIZED) {
            EXPECT_LT(run.peakKiB, kPeakLimitKiB);
        }
    }
}

}  // namespace
