#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#if !defined(_WIN32)
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
