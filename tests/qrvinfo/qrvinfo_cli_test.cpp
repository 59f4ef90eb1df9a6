#include <gtest/gtest.h>
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "writer/pack_bytes.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

// A valid pack: summary, JSON and OBJ (back in the ASE axes, v and winding: corners A, B, C), odd bytes of names
// escaped, exit 0. An invalid or unreadable one: one line or one JSON object, and the reason on standard error,
// exit 1; a wrong command line exit 2, in JSON mode one object first. --obj and --html never write over the pack:
// not named as the OBJ or the page, nor as the MTL beside the OBJ, nor through a link; nothing is written then.
// The page holds the pack's arrays, an index whose names cannot end its script, and the summary, escaped.
TEST(QrvinfoCli, EveryOutcomeAndItsExitCode) {
    ScratchDir dir;
    const std::string path = dir / "small.qrv", bad = dir / "bad.qrv", empty = dir / "e.qrv", odd = dir / "odd.qrv";
    PackBytes b = smallPack(), w, two;
    writeBytes(path, b.data), writeBytes(dir / "x.mtl", b.data), writeBytes(dir / "caf\xC3\xA9.qrv", b.data), writeBytes(empty, PackBytes().tail({}).data);
    writeBytes(odd, wallChunk(w, "\"\\\x01\x7F\xE9").tail({0}).data);
    const uint32_t second = (uint32_t)smallChunk(two).data.size();  // and a mesh whose texture tries to end the page
    writeBytes(dir / "two.qrv", wallChunk(two, "</script><b>&\"\\\x01\xE9").tail({0, second}).data);
    b.data[b.marks.at("end mark")] = (char)0xEE, writeBytes(bad, b.data);
    std::string missing = dir / "missing.qrv", escaped;  // as JSON writes it: Windows paths hold backslashes
    for (char c : missing) (c == '\\' ? escaped += "\\\\" : escaped += c);
    const std::string badLine = bad + ": byte 353: end mark: expected 0xDEADBEEF, found 0xDEADBEEE\n";
    const std::string commandLine = "{\n  \"file\": \"\",\n  \"valid\": false,\n  \"error\": {\"offset\": null, "
                                    "\"field\": \"command line\"";
    std::error_code noLink;  // Windows grants symbolic links only with a privilege
    std::filesystem::create_symlink("small.qrv", dir / "link.obj", noLink);
    struct Case { std::vector<std::string> arguments; int exitCode; std::string output; bool whole; };
    std::vector<Case> cases = {
        {{"--obj", dir / "small.obj", path}, 0, path + ": valid qrv pack, 357 bytes, 1 mesh\nmesh 0 \"b\", bytes 0 to 344\n"
         "  3 vertices, 3 normals, 1 triangle, 1 subset, 1 texture set\n  bounds (0, 0, -1) to (1, 0, 0)\n  subset 0: "
         "indices 0 to 2, 1 triangle, texture \"wood\", lightmap none\ntotal: 1 mesh, 3 vertices, 3 normals, 1 triangle, "
         "1 subset\n", true},
        {{"--json", path}, 0, "\"bounds\": {\"min\": [0, 0, -1], \"max\": [1, 0, 0]},\n     \"subsets\": [\n       "
         "{\"firstIndex\": 0, \"triangles\": 1, \"texture\": \"wood\", \"lightmap\": null}", false},
        {{empty}, 0, empty + ": valid qrv pack, 8 bytes, 0 meshes\ntotal: 0 meshes, 0 vertices, 0 normals, 0 triangles, "
         "0 subsets\n", true},
        {{odd}, 0, "texture \"\\\"\\\\\\x01\\x7F\\xE9\", lightmap \"wall_L_0000\"\n", false},
        {{"--json", odd}, 0, "\"texture\": \"\\\"\\\\\\u0001\\u007f\\u00e9\"", false},
        {{bad}, 1, "ERROR: " + badLine + bad + ": error: " + badLine.substr(bad.size() + 2), true},
        {{"--json", bad}, 1, "\"valid\": false,\n  \"error\": {\"offset\": 353", false},
        {{"--json", missing}, 1, "{\n  \"file\": \"" + escaped + "\",\n  \"valid\": false,\n  \"error\": {\"offset\": null, "
         "\"field\": \"file\", \"expected\": \"a readable regular file\", \"found\": \"cannot open: No such file or "
         "directory\"}\n}\n" + missing + ": error: cannot open: No such file or directory\n", true},
        {{dir.path}, 1, "ERROR: could not open \"" + dir.path + "\"\n" + dir.path + ": error: is a directory\n", true},
        {{"--html", dir / "two.html", dir / "two.qrv"}, 0, "", false},
        {{}, 2, "usage: qrvinfo", false}, {{path, "--help"}, 0, "usage: qrvinfo", false}, {{"-h"}, 0, "usage: qrvinfo", false},
        {{"--version", "--bogus"}, 0, "qrvinfo version 1.2\n", true},
        {{"--json", dir / "caf\xC3\xA9.qrv"}, 0, "caf\xC3\xA9.qrv\",\n  \"valid\": true", false},  // the name, as UTF-8
        {{"--bogus", path}, 2, "ERROR: unknown option \"--bogus\"\nusage: qrvinfo", false},
        {{"--json", "--bogus", path}, 2, commandLine, false},
        {{path, "--json", "--obj"}, 2, commandLine, false},
    };
    for (std::vector<std::string> refused : {std::vector<std::string>{"--obj", path}, {"--html", path},
                                             {"--obj", dir / "x.obj", dir / "x.mtl"}, {"--obj", dir / "link.obj"},
                                             {"--html", dir / "link.obj"}})
        if (refused.size() == 3 || refused[1] != dir / "link.obj" || !noLink)
            cases.push_back({{refused[0], refused[1], refused.size() == 3 ? refused[2] : path}, 1,
                             "ERROR: could not write \"" + refused[1] + "\"\n" + refused[1] +
                                 ": error: cannot write: it is the pack itself\n", false});
#if !defined(_WIN32)
    struct stat info;  // the largest file the tools accept, 2^31 - 1 bytes (sparse, of zeros), checked from its end
    const std::string huge = dir / "huge.qrv";
    writeBytes(huge, "");
    if (truncate(huge.c_str(), INT32_MAX) == 0 && stat(huge.c_str(), &info) == 0 && info.st_blocks <= 4096)
        cases.push_back({{huge}, 1, "ERROR: " + huge + ": byte 2147483643: end mark: expected 0xDEADBEEF, found 0x00000000", false});
#endif
    for (const Case& c : cases) {
        ProgramRun run = runProgram(QRVINFO_BINARY, ".", c.arguments, true);  // standard output and errors together
        run.output = fromNative(run.output);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.arguments.size() << " " << run.output;
        EXPECT_TRUE(c.whole ? run.output == c.output : run.output.find(c.output) != std::string::npos)
            << c.output << "\n-- not in --\n" << run.output;
    }
    EXPECT_EQ("# 1 mesh, 3ds max axes (z up)\nmtllib small.mtl\no b\nv 0 1 0\nvt 0 0.5\nvn 0 0 1\nv 1 0 0\nvt 1 0\n"
              "vn 0 0 1\nv 0 0 0\nvt 0 0\nvn 0 0 1\ng b_0\nusemtl b_0\nf 3/3/3 2/2/2 1/1/1\n", readText(dir / "small.obj"));
    EXPECT_EQ("newmtl b_0\nKd 1 1 1\nmap_Kd wood\n\n", readText(dir / "small.mtl"));
    EXPECT_EQ(smallPack().data + smallPack().data, readBytes(path) + readBytes(dir / "x.mtl"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.obj"));
    const std::string page = readBytes(dir / "two.html");  // arrays as the pack has them, 4-byte aligned
    for (const char* part :
         {"id=\"pack-info\">{\"meshes\": [\n {\"name\": \"b\", \"sets\": 1, \"vertices\": 3, \"indices\": 3, "
          "\"records\": 0, \"normals\": -1, \"order\": 96, \"subsets\": [[0, 1, \"wood\", null]]},\n {\"name\": \"wall\", "
          "\"sets\": 2, \"vertices\": 3, \"indices\": 3, \"records\": 104, \"normals\": 200, \"order\": 236, \"subsets\": "
          "[[0, 1, \"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\\u0022\\u005c\\u0001\\u00e9\", \"wall_L_0000\"]]}],\n "
          "\"bytes\": 244}</script>",
          "id=\"pack-arrays\">AAAAAAAAAAAAAIC/AAAAAAAAgD8AAAAAAAAAAAAAAD8AAIA/AAAAAAAAAIAAAAAAAACAPwAAAAAAAIA/AACAPwAAAAAAAAAAAAAAgAAA"
          "AAAAAIA/AAAAAAAAAAAAAIA/AAABAAIAAAAAAADAAACAvwAAgMAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgEAAAAA/AACAPwAAAAAAAAA/AACAPwAAQD8AAEA"
          "/AACAPwAAQEAAAADAAAAAAAAAgD4AAIA+AAAAPgAAAD8AAIA/AAAAAAAAAAAAAAAAAACAPwAAAACamRk/AAAAAM3MTD8AAAEAAgAAAA==</script>",
          "texture \"&lt;/script&gt;&lt;b&gt;&amp;\\\"\\\\\\x01\\xE9\", lightmap"})
        EXPECT_NE(std::string::npos, page.find(part)) << part;
}
