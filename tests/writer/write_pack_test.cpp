#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include "writer/pack_bytes.h"

#include <algorithm>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// A file system whose temporary files take writes until more than failAfter
// bytes would have gone through (never when negative), and whose close
// reports failure, after closing, when failClose.
struct FailingFileSystem : StdFileSystem {
    int64_t failAfter = -1;
    bool failClose = false;
    struct Limited : Stream {
        Stream* inner;
        int64_t left;
        bool failClose;
        Limited(Stream* s, int64_t limit, bool fails) : inner(s), left(limit), failClose(fails) {}
        ~Limited() override { delete inner; }
        int close() override { return inner->close() != 0 || failClose ? -1 : 0; }
        int write(const void* b, int32_t n) override { return left >= 0 && (left -= n) < 0 ? 0 : inner->write(b, n); }
        int32_t read(void*, int32_t) override { return 0; }
        int seek(int32_t) override { return 0; }
        int skip(int32_t) override { return 0; }
        int32_t tell() override { return inner->tell(); }
        int32_t size() override { return -1; }
    };
    Stream* createTemporary(const char* target, String* temporaryName) override {
        Stream* stream = StdFileSystem::createTemporary(target, temporaryName);
        return stream ? new Limited(stream, failAfter, failClose) : nullptr;
    }
};

class WritePack : public ::testing::Test {
protected:
    void SetUp() override {
        ensureServices();
        resetLog();
        saved = gFileSystem;
        mesh.vertices.push({1, 2, 3});
        mesh.normals.push({0, 0, 1});
        mesh.mapChannels[0].push({0, 0});
        mesh.faces.push(MeshFace{});
    }
    void TearDown() override { gFileSystem = saved; }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void expectOnlyTheOldPack() {
        EXPECT_EQ("old", readBytes(output));
        EXPECT_EQ(std::vector<std::string>{"scene.qrv"}, entries());  // no temporary left
    }

    ScratchDir dir;
    std::string input = dir / "scene.ase", output = dir / "scene.qrv";
    Mesh mesh;  // one triangle
    FileSystem* saved = nullptr;
};

}  // namespace

TEST_F(WritePack, FailedWriteOrCloseLeavesTheEarlierFile) {
    Mesh big;  // several buffer loads, so that later writes fail too
    big.vertices.push({1, 2, 3});
    big.normals.push({0, 0, 1});
    big.mapChannels[0].push({0, 0});
    big.faces.resize(21845);
    const int64_t small = (int64_t)packBytes(&mesh).size();
    struct Case {
        Mesh* head;
        int64_t failAfter;
        bool failClose;
    } cases[] = {{&mesh, 0, false}, {&mesh, small - 1, false}, {&big, 1 << 20, false},
                 {&big, 5 << 19, false}, {&mesh, -1, true}, {&mesh, small, false}};
    FailingFileSystem failing;
    gFileSystem = &failing;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fail after " << c.failAfter << (c.failClose ? ", at close" : ""));
        writeBytes(output, "old");
        resetLog();
        failing.failAfter = c.failAfter;
        failing.failClose = c.failClose;
        if (c.failAfter == small) {  // the limit itself is no failure
            EXPECT_EQ(1, writePack(input.c_str(), c.head, 0));
            EXPECT_EQ(packBytes(&mesh), readBytes(output));
            continue;
        }
        EXPECT_EQ(0, writePack(input.c_str(), c.head, 0));
        expectOnlyTheOldPack();
        EXPECT_NE(std::string::npos, logText().find("ERROR: ")) << logText();
    }
}

TEST_F(WritePack, ReplacedPackGetsTheModeOfAPlainCreate) {
#if defined(_WIN32)
    GTEST_SKIP() << "no mode bits or umask on Windows";
#else
    writeBytes(output, "old");
    chmod(output.c_str(), 0600);
    for (mode_t mask : {022, 002, 0}) {
        mode_t previous = umask(mask);
        ASSERT_EQ(1, writePack(input.c_str(), &mesh, 0));
        umask(previous);
        struct stat info;
        EXPECT_EQ(0, stat(output.c_str(), &info));
        EXPECT_EQ(0666 & ~mask, info.st_mode & 07777) << "umask " << std::oct << mask;
    }
    EXPECT_EQ(std::vector<std::string>{"scene.qrv"}, entries());
#endif
}

TEST_F(WritePack, UnwritableTargetFailsWithoutLeftovers) {
    fs::create_directory(output);  // a folder sits at the output path
    EXPECT_EQ(0, writePack(input.c_str(), &mesh, 0));
    EXPECT_TRUE(fs::is_directory(output));
    EXPECT_EQ(std::vector<std::string>{"scene.qrv"}, entries());
    fs::remove(output);
    writeBytes(output, "old");
#if defined(_WIN32)
    // A read-only pack is refused, as writing over it directly would be.
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(output, write, fs::perm_options::remove);
    EXPECT_EQ(0, writePack(input.c_str(), &mesh, 0));
    fs::permissions(output, fs::perms::owner_write, fs::perm_options::add);
#else
    if (geteuid() == 0) return;  // permissions do not stop root
    chmod(dir.path.c_str(), 0555);
    EXPECT_EQ(0, writePack(input.c_str(), &mesh, 0));
    chmod(dir.path.c_str(), 0755);
#endif
    expectOnlyTheOldPack();
}

// The output named by the input, or the same file under another name.
TEST_F(WritePack, NeverWritesOverTheInput) {
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
    const std::vector<std::string> before = entries();
    for (const char* name : inputs) {
        EXPECT_EQ(0, writePack((dir / name).c_str(), &mesh, 0)) << name;
        EXPECT_EQ("ase text", readBytes(dir / name)) << name;
    }
    EXPECT_EQ(before, entries());
    EXPECT_TRUE(noSymlink || fs::is_symlink(dir / "y.qrv"));
}
