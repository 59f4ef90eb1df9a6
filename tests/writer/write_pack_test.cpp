#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

namespace fs = std::filesystem;

// The pack replaces an earlier file whole. An output that is the input is refused, whether named so, a hard link
// or a symbolic link to it (or, on Windows, differing in case only): the input stays and no temporary is left.
TEST(WritePack, ReplacesTheOldPackButNeverTheInput) {
    ensureServices(), resetLog();
    ScratchDir dir;
    Mesh mesh;
    writeBytes(dir / "scene.qrv", "old");
    EXPECT_EQ(1, writePack((dir / "scene.ase").c_str(), &mesh, 0));
    EXPECT_EQ(packBytes(&mesh), readBytes(dir / "scene.qrv"));
    for (const char* name : {"x.qrv", "y.ase", "z.ase"}) writeBytes(dir / name, "ase text");
    std::vector<const char*> inputs = {"x.qrv", "z.ase"};
    fs::create_hard_link(dir / "z.ase", dir / "z.qrv");
    std::error_code noSymlink;  // Windows grants them only with a privilege
    fs::create_symlink("y.ase", dir / "y.qrv", noSymlink);
    if (!noSymlink) inputs.push_back("y.ase");
#if defined(_WIN32)
    writeBytes(dir / "w.QRV", "ase text");
    inputs.push_back("w.QRV");
#endif
    const auto files = [&] { return std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()); };
    const auto before = files();
    for (const char* name : inputs) {
        EXPECT_EQ(0, writePack((dir / name).c_str(), &mesh, 0)) << name;
        EXPECT_EQ("ase text", readBytes(dir / name)) << name;
    }
    EXPECT_EQ(before, files());
    EXPECT_TRUE(noSymlink || fs::is_symlink(dir / "y.qrv"));
}
