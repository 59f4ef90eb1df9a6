#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "writer/pack_reader.h"
#include "writer/writer_test_support.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Passes writes on until more than limit bytes would have gone through; with
// closeFails its close reports failure after closing.
class LimitedStream : public Stream {
public:
    LimitedStream(Stream* target, int64_t limit, bool closeFails)
        : inner(target), left(limit), failClose(closeFails) {}
    ~LimitedStream() override { delete inner; }
    int close() override { return inner->close() != 0 || failClose ? -1 : 0; }
    int write(const void* buffer, int32_t n) override {
        if (left >= 0 && (left -= n) < 0) return 0;
        return inner->write(buffer, n);
    }
    int32_t read(void*, int32_t) override { return 0; }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return inner->tell(); }
    int32_t size() override { return -1; }

private:
    Stream* inner;
    int64_t left;
    bool failClose;
};

class FailingFileSystem : public StdFileSystem {
public:
    int64_t failAfter = -1;
    bool failClose = false;
    Stream* createTemporary(const char* target, String* temporaryName) override {
        Stream* stream = StdFileSystem::createTemporary(target, temporaryName);
        return stream ? new LimitedStream(stream, failAfter, failClose) : nullptr;
    }
};

class WritePack : public ::testing::Test {
protected:
    void SetUp() override {
        ensureServices();
        resetLog();
        saved = gFileSystem;
        input = dir / "scene.ase";
        output = dir / "scene.qrv";
        mesh.name.assign(String("A"));
        addWorkedTriangle(mesh, false);
        addSubset(mesh, 0, 1, "tex1");
    }
    void TearDown() override { gFileSystem = saved; }

    void expectOnlyTheOldPack() {
        std::vector<unsigned char> old = {'o', 'l', 'd'};
        EXPECT_EQ(readFile(output), old);
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.qrv"});  // no temporary left
    }

    TempDir dir;
    std::string input, output;
    Mesh mesh;
    FileSystem* saved = nullptr;
};

#if !defined(_WIN32)
mode_t fileMode(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}
#endif

}  // namespace

TEST_F(WritePack, FailedWriteOrCloseLeavesTheEarlierFile) {
    // A pack of several buffer loads, so that later writes fail too.
    Mesh big;
    big.vertices.push({1, 2, 3});
    big.normals.push({0, 0, 1});
    big.mapChannels[0].push({0, 0});
    for (int t = 0; t < 21845; ++t) big.faces.push(MeshFace{});
    struct Case {
        Mesh* head;
        int64_t failAfter;
        bool failClose;
    } cases[] = {{&mesh, 0, false},         {&mesh, 356, false}, {&big, 1 << 20, false},
                 {&big, 5 << 19, false},    {&mesh, -1, true}};
    FailingFileSystem failing;
    gFileSystem = &failing;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fail after " << c.failAfter << (c.failClose ? ", at close" : ""));
        writeFile(output, "old");
        resetLog();
        failing.failAfter = c.failAfter;
        failing.failClose = c.failClose;
        EXPECT_EQ(writePack(input.c_str(), c.head, 0), 0);
        expectOnlyTheOldPack();
        EXPECT_NE(logText().find("ERROR: "), std::string::npos) << logText();
    }
    // The limit itself is no failure: the small pack is 357 bytes.
    failing.failAfter = 357;
    failing.failClose = false;
    EXPECT_EQ(writePack(input.c_str(), &mesh, 0), 1);
    EXPECT_EQ(readFile(output).size(), 357u);
}

TEST_F(WritePack, ReplacedPackGetsTheModeOfAPlainCreate) {
#if defined(_WIN32)
    GTEST_SKIP() << "no mode bits or umask on Windows";
#else
    writeFile(output, "old");
    chmod(output.c_str(), 0600);
    for (mode_t mask : {022, 002, 0}) {
        mode_t previous = umask(mask);
        int result = writePack(input.c_str(), &mesh, 0);
        umask(previous);
        ASSERT_EQ(result, 1);
        EXPECT_EQ(fileMode(output), 0666 & ~mask) << "umask " << std::oct << mask;
        EXPECT_EQ(readFile(output).size(), 357u);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.qrv"});
#endif
}

TEST_F(WritePack, UnwritableTargetFailsWithoutLeftovers) {
    std::filesystem::create_directory(output);  // a folder sits at the output path
    EXPECT_EQ(writePack(input.c_str(), &mesh, 0), 0);
    EXPECT_TRUE(std::filesystem::is_directory(output));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.qrv"});
    std::filesystem::remove(output);

#if defined(_WIN32)
    // A read-only pack is refused, as writing over it directly would be.
    namespace fs = std::filesystem;
    writeFile(output, "old");
    fs::permissions(output, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(writePack(input.c_str(), &mesh, 0), 0);
    fs::permissions(output, fs::perms::owner_write, fs::perm_options::add);
    expectOnlyTheOldPack();
#else
    if (geteuid() == 0) return;  // permissions do not stop root
    writeFile(output, "old");
    chmod(dir.path.c_str(), 0555);
    EXPECT_EQ(writePack(input.c_str(), &mesh, 0), 0);
    chmod(dir.path.c_str(), 0755);
    expectOnlyTheOldPack();
#endif
}

TEST_F(WritePack, NeverWritesOverTheInput) {
    writeFile(dir / "x.qrv", "ase text");
    writeFile(dir / "y.ase", "ase text");
    writeFile(dir / "z.ase", "ase text");
    std::vector<const char*> inputs = {"x.qrv", "z.ase"};
    std::filesystem::create_hard_link(dir / "z.ase", dir / "z.qrv");
    std::error_code noSymlink;  // Windows grants them only with a privilege
    std::filesystem::create_symlink("y.ase", dir / "y.qrv", noSymlink);
    if (!noSymlink) inputs.push_back("y.ase");
#if defined(_WIN32)
    // Names differing in case only are one file here.
    writeFile(dir / "w.QRV", "ase text");
    inputs.push_back("w.QRV");
#endif
    std::vector<std::string> before = dir.entries();
    std::vector<unsigned char> text = {'a', 's', 'e', ' ', 't', 'e', 'x', 't'};
    for (const char* name : inputs) {
        EXPECT_EQ(writePack((dir / name).c_str(), &mesh, 0), 0) << name;
        EXPECT_EQ(readFile(dir / name), text) << name;
    }
    EXPECT_EQ(dir.entries(), before);
    if (!noSymlink) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "y.qrv"));
    }
}

// The tool as the user runs it.
TEST(WritePackRun, WritesThePackBesideTheInput) {
    TempDir dir;
    writeFile(dir / "crate.ase", crateAse(false));
    writeFile(dir / "lit.ase", crateAse(true));
    std::string out;
    ASSERT_EQ(runTarvolt(dir.path.string(), "crate.ase", &out), 0) << out;
    EXPECT_NE(out.find("\nDone!\n"), std::string::npos) << out;
    ASSERT_EQ(runTarvolt(dir.path.string(), "-l _LM lit.ase", &out), 0) << out;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"crate.ase", "crate.qrv", "lit.ase", "lit.qrv"}));

    std::vector<PackChunk> chunks;
    std::vector<unsigned char> pack = readFile(dir / "crate.qrv");
    ASSERT_EQ(PackParser(pack).read(&chunks), "");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].name, "crate");
    EXPECT_EQ(chunks[0].textureSets, 1u);
    ASSERT_EQ(chunks[0].subsets.size(), 1u);
    EXPECT_EQ(chunks[0].subsets[0].slots[0].name, "Crate");
    EXPECT_EQ(chunks[0].subsets[0].slots[1].length, 0u);

    pack = readFile(dir / "lit.qrv");
    ASSERT_EQ(PackParser(pack).read(&chunks), "");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].textureSets, 2u);
    ASSERT_EQ(chunks[0].subsets.size(), 1u);
    EXPECT_EQ(chunks[0].subsets[0].slots[1].name, "crate_LM");
}

TEST(WritePackRun, FailedWriteIsReportedWithExitMinusOne) {
    TempDir dir;
    writeFile(dir / "crate.ase", crateAse(false));
    writeFile(dir / "x.qrv", crateAse(false));
    std::filesystem::create_directory(dir / "crate.qrv");
    std::string out;
    EXPECT_EQ(runTarvolt(dir.path.string(), "crate.ase", &out), -1);
    EXPECT_NE(out.find("ERROR: could not write \"crate.qrv\"\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Done!"), std::string::npos) << out;
    EXPECT_EQ(out.find("press any key"), std::string::npos) << out;

    EXPECT_EQ(runTarvolt(dir.path.string(), "x.qrv", &out), -1);
    EXPECT_NE(out.find("ERROR: could not write \"x.qrv\"\n"), std::string::npos) << out;
    std::vector<unsigned char> text = readFile(dir / "x.qrv");
    EXPECT_EQ(std::string(text.begin(), text.end()), crateAse(false));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"crate.ase", "crate.qrv", "x.qrv"}));
}
