#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <cerrno>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

class WritePack : public ::testing::Test {
protected:
    void SetUp() override { ensureServices(), resetLog(); }
    long files() const { return (long)std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()); }
    ScratchDir dir;
    std::string input = dir / "scene.ase", output = dir / "scene.qrv";
    Mesh mesh;
};

}  // namespace

#if !defined(_WIN32)
// The largest mesh the reader accepts: its 3 MiB pack goes out in four writes and loads. A real file-size limit
// that cuts the first write, a later one or the last byte fails the run with EFBIG and leaves the earlier file,
// no temporary, an ERROR in the Log.
TEST_F(WritePack, FailedWriteLeavesTheEarlierFile) {
    mesh.vertices.push({1, 2, 3}), mesh.normals.push({0, 0, 1}), mesh.mapChannels[0].push({0, 0});
    mesh.faces.resize(21845);  // every corner uses entry 0
    int writes = 0;
    const std::string pack = packBytes(&mesh, 0, &writes);
    Pack loaded;
    PackError error;
    EXPECT_LE(writes, 4);
    EXPECT_TRUE(loadBytes(pack, loaded, error)) << error.offset << " " << error.field;
    clearPack(loaded);
    for (rlim_t limit : {(rlim_t)0, (rlim_t)1 << 20, (rlim_t)pack.size() - 1}) {
        SCOPED_TRACE(limit);
        writeBytes(output, "old");
        resetLog();
        int reason = 0;
        struct rlimit saved, cut;
        getrlimit(RLIMIT_FSIZE, &saved);
        cut = saved, cut.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &cut);
        const int written = writePack(input.c_str(), &mesh, 0, &reason);
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(0, written);
        EXPECT_EQ(EFBIG, reason);
        EXPECT_EQ("old", readBytes(output));
        EXPECT_EQ(1, files());
        EXPECT_NE(std::string::npos, logText().find("ERROR: ")) << logText();
    }
    EXPECT_EQ(1, writePack(input.c_str(), &mesh, 0));
    EXPECT_EQ(pack, readBytes(output));
}
#endif

// A new pack gets the mode of a plain create, a replaced one keeps its own. A folder at the output path is
// refused, and so are outputs that are the input: named so, a hard link or a symbolic link to it.
TEST_F(WritePack, ReplacesOnlyWhatItMay) {
#if !defined(_WIN32)
    for (mode_t mask : {022, 002, 0}) {
        fs::remove(output);
        mode_t previous = umask(mask);
        EXPECT_EQ(1, writePack(input.c_str(), &mesh, 0));
        umask(previous);
        struct stat info;
        EXPECT_EQ(0, stat(output.c_str(), &info));
        EXPECT_EQ(0666 & ~mask, info.st_mode & 07777) << "umask " << std::oct << mask;
    }
    chmod(output.c_str(), 0640);
    EXPECT_EQ(1, writePack(input.c_str(), &mesh, 0));
    struct stat info;
    EXPECT_EQ(0, stat(output.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
#endif
    writeBytes(output, "old");
    EXPECT_EQ(1, writePack(input.c_str(), &mesh, 0));
    EXPECT_EQ(packBytes(&mesh), readBytes(output));
    fs::remove(output), fs::create_directory(output);
    EXPECT_EQ(0, writePack(input.c_str(), &mesh, 0));
    EXPECT_TRUE(fs::is_directory(output));
    for (const char* name : {"x.qrv", "y.ase", "z.ase"}) writeBytes(dir / name, "ase text");
    std::vector<const char*> inputs = {"x.qrv", "z.ase"};
    fs::create_hard_link(dir / "z.ase", dir / "z.qrv");
    std::error_code noSymlink;  // Windows grants them only with a privilege
    fs::create_symlink("y.ase", dir / "y.qrv", noSymlink);
    if (!noSymlink) inputs.push_back("y.ase");
#if defined(_WIN32)
    writeBytes(dir / "w.QRV", "ase text");  // names differing in case only are one file here
    inputs.push_back("w.QRV");
#endif
    const long before = files();
    for (const char* name : inputs) {
        EXPECT_EQ(0, writePack((dir / name).c_str(), &mesh, 0)) << name;
        EXPECT_EQ("ase text", readBytes(dir / name)) << name;
    }
    EXPECT_EQ(before, files());  // no temporary left
    EXPECT_TRUE(noSymlink || fs::is_symlink(dir / "y.qrv"));
}
