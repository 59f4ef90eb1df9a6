#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "writer/pack_bytes.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

// Standard output and errors together, lines ending in '\n'.
static ProgramRun qrvinfo(const std::vector<std::string>& arguments) {
    ProgramRun run = runProgram(QRVINFO_BINARY, ".", arguments, true);
    return run.output = fromNative(run.output), run;
}

// A valid pack: summary, JSON and OBJ (back in the ASE axes, v and winding: corners A, B, C), exit 0. An
// invalid one: one line, exit 1; a missing one exit 1; a wrong command line exit 2, in JSON mode too.
TEST(QrvinfoCli, SummaryJsonObjAndExitCodes) {
    ScratchDir dir;
    const std::string path = dir / "small.qrv", bad = dir / "bad.qrv", empty = dir / "empty.qrv";
    writeBytes(path, smallPack().data);
    ProgramRun run = qrvinfo({"--obj", dir / "small.obj", path});
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(path + ": valid qrv pack, 357 bytes, 1 mesh\nmesh 0 \"b\", bytes 0 to 344\n"
                     "  3 vertices, 3 normals, 1 triangle, 1 subset, 1 texture set\n  bounds (0, 0, -1) to (1, 0, 0)\n"
                     "  subset 0: indices 0 to 2, 1 triangle, texture \"wood\", lightmap none\n"
                     "total: 1 mesh, 3 vertices, 3 normals, 1 triangle, 1 subset\n",
              run.output);
    EXPECT_EQ("# 1 mesh, 3ds max axes (z up)\nmtllib small.mtl\no b\n"
              "v 0 1 0\nvt 0 0.5\nvn 0 0 1\nv 1 0 0\nvt 1 0\nvn 0 0 1\nv 0 0 0\nvt 0 0\nvn 0 0 1\n"
              "g b_0\nusemtl b_0\nf 3/3/3 2/2/2 1/1/1\n",
              readText(dir / "small.obj"));
    EXPECT_EQ("newmtl b_0\nKd 1 1 1\nmap_Kd wood\n\n", readText(dir / "small.mtl"));
    run = qrvinfo({"--json", path});
    for (const char* part : {"\"valid\": true", "\"bounds\": {\"min\": [0, 0, -1], \"max\": [1, 0, 0]}",
                             "\"texture\": \"wood\", \"lightmap\": null}"})
        EXPECT_NE(std::string::npos, run.output.find(part)) << part << "\n" << run.output;
    writeBytes(empty, PackBytes().tail({}).data);
    EXPECT_EQ(empty + ": valid qrv pack, 8 bytes, 0 meshes\ntotal: 0 meshes, 0 vertices, 0 normals, 0 triangles, "
                      "0 subsets\n", qrvinfo({empty}).output);

    PackBytes b = smallPack();
    b.data[b.marks.at("end mark")] = (char)0xEE;
    writeBytes(bad, b.data);
    run = qrvinfo({bad});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("ERROR: " + bad + ": byte 353: end mark: expected 0xDEADBEEF, found 0xDEADBEEE\n" + bad +
                  ": error: byte 353: end mark: expected 0xDEADBEEF, found 0xDEADBEEE\n",
              run.output);
    run = qrvinfo({"--json", bad});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("\"valid\": false,\n  \"error\": {\"offset\": 353"));
    // Every outcome of --json is one object; the reason goes to standard error too.
    run = qrvinfo({"--json", dir / "missing.qrv"});
    std::string escaped;  // as JSON writes it: Windows paths hold backslashes
    for (char c : dir / "missing.qrv") (c == '\\' ? escaped += "\\\\" : escaped += c);
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("{\n  \"file\": \"" + escaped + "\",\n  \"valid\": false,\n  \"error\": {\"offset\": null, "
              "\"field\": \"file\", \"expected\": \"a readable regular file\", \"found\": \"cannot open: No such "
              "file or directory\"}\n}\n" + dir / "missing.qrv" + ": error: cannot open: No such file or directory\n",
              run.output);
    run = qrvinfo({dir.path});
    EXPECT_EQ("ERROR: could not open \"" + dir.path + "\"\n" + dir.path + ": error: is a directory\n", run.output);
    EXPECT_EQ(1, run.exitCode);

    EXPECT_EQ(2, qrvinfo({}).exitCode);
    EXPECT_EQ(2, qrvinfo({"--bogus", path}).exitCode);
    for (std::vector<std::string> wrong : {std::vector<std::string>{"--json", "--bogus", path}, {path, "--json", "--obj"}}) {
        run = qrvinfo(wrong);  // still one JSON object first, then the usage on standard error
        EXPECT_EQ(2, run.exitCode);
        EXPECT_EQ(0u, run.output.find("{\n  \"file\": \"\",\n  \"valid\": false,\n  \"error\": {\"offset\": null, "
                                     "\"field\": \"command line\"")) << run.output;
    }
}

// --obj and --html never write over the pack they read: not named as the OBJ or the page, not as the MTL beside
// the OBJ, not through a link. Nothing is written then, and the pack stays.
TEST(QrvinfoCli, ObjAndPageNeverReplaceThePack) {
    ScratchDir dir;
    const std::string pack = smallPack().data;
    writeBytes(dir / "k.qrv", pack);
    writeBytes(dir / "x.mtl", pack);
    std::error_code noLink;  // Windows grants symbolic links only with a privilege
    std::filesystem::create_symlink("k.qrv", dir / "link.obj", noLink);
    std::vector<std::vector<std::string>> refused = {{"--obj", dir / "k.qrv", dir / "k.qrv"},
                                                     {"--html", dir / "k.qrv", dir / "k.qrv"},
                                                     {"--obj", dir / "x.obj", dir / "x.mtl"}};
    for (const char* option : {"--obj", "--html"})
        if (!noLink) refused.push_back({option, dir / "link.obj", dir / "k.qrv"});
    for (const auto& arguments : refused) {
        ProgramRun run = qrvinfo(arguments);
        EXPECT_EQ(1, run.exitCode) << arguments[1];
        EXPECT_NE(std::string::npos, run.output.find("ERROR: could not write \"" + arguments[1] + "\"")) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(arguments[1] + ": error: cannot write: it is the pack itself"))
            << run.output;
    }
    EXPECT_EQ(pack, readBytes(dir / "k.qrv"));
    EXPECT_EQ(pack, readBytes(dir / "x.mtl"));
    EXPECT_EQ(noLink ? 2 : 3, std::distance(std::filesystem::directory_iterator(dir.path), {}));
}

// The largest file the tools accept, 2^31 - 1 bytes (sparse, of zeros), is read whole and checked from its end.
TEST(QrvinfoCli, ReadsAFileOfTheLargestAcceptedSize) {
#if defined(_WIN32)
    GTEST_SKIP() << "no sparse files here";
#else
    ScratchDir dir;
    const std::string path = dir / "huge.qrv";
    writeBytes(path, "");
    struct stat info;
    if (truncate(path.c_str(), INT32_MAX) != 0 || stat(path.c_str(), &info) != 0 || info.st_blocks > 4096)
        GTEST_SKIP() << "the file system here keeps no sparse file of 2 GiB";
    ProgramRun run = qrvinfo({path});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ(0u, run.output.find("ERROR: " + path + ": byte 2147483643: end mark: expected 0xDEADBEEF, found "
                                  "0x00000000\n")) << run.output;
#endif
}
