#include <gtest/gtest.h>

#include "qrvinfo/obj_export.h"
#include "qrvinfo/pack_bytes.h"
#include "support/test_support.h"

#include <cstdio>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun qrvinfo(const std::string& arguments) {
    ToolRun run = {-1, ""};
    FILE* pipe = popen((std::string(QRVINFO_BINARY) + " " + arguments + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string writeTemporary(const std::string& bytes) {
    char path[] = "/tmp/qrvinfo_cliXXXXXX";
    const int fd = mkstemp(path);
    FILE* file = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

std::string contents(FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += (char)c;
    return text;
}

}  // namespace

TEST(QrvinfoCli, SummarisesAValidPackAndExitsZero) {
    const std::string path = writeTemporary(smallPack().data);
    ToolRun run = qrvinfo(path);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(path +
                  ": valid qrv pack, 357 bytes, 1 mesh\n"
                  "mesh 0 \"b\", bytes 0 to 344\n"
                  "  3 vertices, 3 normals, 1 triangle, 1 subset, 1 texture set\n"
                  "  bounds (0, 0, -1) to (1, 0, 0)\n"
                  "  subset 0: indices 0 to 2, 1 triangle, texture \"wood\", lightmap none\n"
                  "total: 1 mesh, 3 vertices, 3 normals, 1 triangle, 1 subset\n",
              run.output);
    run = qrvinfo("--json " + path);
    EXPECT_EQ(0, run.status);
    for (const char* part :
         {"\"valid\": true", "\"bounds\": {\"min\": [0, 0, -1], \"max\": [1, 0, 0]}",
          "\"texture\": \"wood\", \"lightmap\": null}"})
        EXPECT_NE(std::string::npos, run.output.find(part)) << part << "\n" << run.output;
    std::remove(path.c_str());
}

TEST(QrvinfoCli, RefusesAnInvalidPackWithOneLineAndExitsOne) {
    PackBytes b = smallPack();
    b.setU32(b.marks.at("end mark"), 0xDEADBEEE);
    const std::string path = writeTemporary(b.data);
    ToolRun run = qrvinfo(path);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("ERROR: " + path + ": byte 353: end mark: expected 0xDEADBEEF, found 0xDEADBEEE\n",
              run.output);
    run = qrvinfo("--json " + path);
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos,
              run.output.find("\"valid\": false,\n  \"error\": {\"offset\": 353"));
    std::remove(path.c_str());
    EXPECT_EQ(1, qrvinfo(path).status);  // gone
    EXPECT_EQ(2, qrvinfo("").status);
    EXPECT_EQ(2, qrvinfo("--bogus " + path).status);
}

// Back to the ASE axes, v and winding: the corners A, B, C of the triangle.
TEST(QrvinfoObj, UndoesThePacksConventions) {
    ensureServices();
    const PackBytes b = smallPack();
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(b.data, pack, error));
    FILE* obj = std::tmpfile();
    FILE* mtl = std::tmpfile();
    writeObjTo(obj, mtl, pack, "small.mtl");
    EXPECT_EQ(
        "# 1 mesh, 3ds max axes (z up)\nmtllib small.mtl\no b\n"
        "v 0 1 0\nvt 0 0.5\nvn 0 0 1\n"
        "v 1 0 0\nvt 1 0\nvn 0 0 1\n"
        "v 0 0 0\nvt 0 0\nvn 0 0 1\n"
        "g b_0\nusemtl b_0\nf 3/3/3 2/2/2 1/1/1\n",
        contents(obj));
    EXPECT_EQ("newmtl b_0\nKd 1 1 1\nmap_Kd wood\n\n", contents(mtl));
    std::fclose(obj);
    std::fclose(mtl);
}
