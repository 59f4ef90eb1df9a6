#include <gtest/gtest.h>

#include "qrvinfo/obj_export.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <cstdio>

namespace {

// Standard output and errors together, lines ending in '\n'.
ProgramRun qrvinfo(const std::vector<std::string>& arguments) {
    ProgramRun run = runProgram(QRVINFO_BINARY, ".", arguments, true);
    run.output = fromNative(run.output);
    return run;
}

}  // namespace

TEST(QrvinfoCli, SummarisesAValidPackAndExitsZero) {
    ScratchDir dir;
    const std::string path = dir / "small.qrv";
    writeBytes(path, smallPack().data);
    ProgramRun run = qrvinfo({path});
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(path +
                  ": valid qrv pack, 357 bytes, 1 mesh\n"
                  "mesh 0 \"b\", bytes 0 to 344\n"
                  "  3 vertices, 3 normals, 1 triangle, 1 subset, 1 texture set\n"
                  "  bounds (0, 0, -1) to (1, 0, 0)\n"
                  "  subset 0: indices 0 to 2, 1 triangle, texture \"wood\", lightmap none\n"
                  "total: 1 mesh, 3 vertices, 3 normals, 1 triangle, 1 subset\n",
              run.output);
    run = qrvinfo({"--json", path});
    EXPECT_EQ(0, run.exitCode);
    for (const char* part :
         {"\"valid\": true", "\"bounds\": {\"min\": [0, 0, -1], \"max\": [1, 0, 0]}",
          "\"texture\": \"wood\", \"lightmap\": null}"})
        EXPECT_NE(std::string::npos, run.output.find(part)) << part << "\n" << run.output;
}

TEST(QrvinfoCli, RefusesAnInvalidPackWithOneLineAndExitsOne) {
    PackBytes b = smallPack();
    b.data[b.marks.at("end mark")] = (char)0xEE;
    ScratchDir dir;
    const std::string path = dir / "bad.qrv";
    writeBytes(path, b.data);
    ProgramRun run = qrvinfo({path});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("ERROR: " + path + ": byte 353: end mark: expected 0xDEADBEEF, found 0xDEADBEEE\n",
              run.output);
    run = qrvinfo({"--json", path});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("\"valid\": false,\n  \"error\": {\"offset\": 353"));
    std::remove(path.c_str());
    EXPECT_EQ(1, qrvinfo({path}).exitCode);  // gone
    EXPECT_EQ(2, qrvinfo({}).exitCode);
    EXPECT_EQ(2, qrvinfo({"--bogus", path}).exitCode);
}

// Back to the ASE axes, v and winding: the corners A, B, C of the triangle.
TEST(QrvinfoObj, UndoesThePacksConventions) {
    ensureServices();
    const PackBytes b = smallPack();
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(b.data, pack, error));
    ScratchDir dir;  // not tmpfile: on Windows it writes into the drive's root folder
    FILE* obj = std::fopen((dir / "small.obj").c_str(), "wb");
    FILE* mtl = std::fopen((dir / "small.mtl").c_str(), "wb");
    ASSERT_TRUE(obj && mtl);
    writeObjTo(obj, mtl, pack, "small.mtl");
    std::fclose(obj);
    std::fclose(mtl);
    EXPECT_EQ(
        "# 1 mesh, 3ds max axes (z up)\nmtllib small.mtl\no b\n"
        "v 0 1 0\nvt 0 0.5\nvn 0 0 1\n"
        "v 1 0 0\nvt 1 0\nvn 0 0 1\n"
        "v 0 0 0\nvt 0 0\nvn 0 0 1\n"
        "g b_0\nusemtl b_0\nf 3/3/3 2/2/2 1/1/1\n",
        readBytes(dir / "small.obj"));
    EXPECT_EQ("newmtl b_0\nKd 1 1 1\nmap_Kd wood\n\n", readBytes(dir / "small.mtl"));
}
