// The real binary against real faults. After each, the earlier pack is as it was (or, after a signal that came too
// late, the new pack is complete) and the folder holds the same files as before.
#if !defined(_WIN32)
#include "ase/ase_fixture.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
const std::vector<std::string> kPlain = {"in.ase"}, kWelded = {"-o", "in.ase"};

// Runs tarvolt in dir, its standard output and error apart.
ProgramRun runIn(const std::string& dir, const std::vector<std::string>& args, long long addressSpace = 0,
                 RunFaults faults = {}) {
    return runProgram(TARVOLT_BINARY, dir, args, false, addressSpace, 0, faults);
}

// Objects of one material, each a strip of faces: about 200 bytes of text and a pack of 144 bytes a face plain.
std::string strips(int objects, int faces) {
    Faces strip;
    for (int f = 0; f < faces; ++f) strip.push_back({f, f + 1, f + 2, 0});
    std::string t = "*3DSMAX_ASCIIEXPORT 200\n" + materialList({"stone.tga"});
    for (int o = 0; o < objects; ++o) t += geomObject("Strip" + str(o), meshBlock(faces + 2, strip) + "*MATERIAL_REF 0\n");
    return t;
}

// A folder (at, a new one by default) with in.ase and an earlier pack in.qrv; converted is the pack of the input.
struct Folder {
    ScratchDir dir;
    std::string at, pack, earlier, converted;
    std::map<std::string, std::string> files;  // as filesIn() sees them
    Folder(const std::string& input, const std::vector<std::string>& args, const std::string& root = "")
        : at(root.empty() ? dir.path : root), pack(at + "/in.qrv") {
        writeBytes(at + "/in.ase", input);
        EXPECT_EQ(0, runIn(at, args).exitCode);
        converted = readBytes(pack);
        writeBytes(pack, earlier = converted.substr(0, converted.size() / 3) + "an earlier pack");
        files = filesIn(at);
    }
    // A run that failed (to write, with a reason): -1, the reason on standard error, nothing changed.
    void expectRefused(const ProgramRun& run, const std::string& reason = "") {
        EXPECT_EQ(255, run.exitCode) << run.output << run.errors;
        if (!reason.empty()) {
            EXPECT_NE(std::string::npos, run.output.find("ERROR: could not write \"in.qrv\"\n"));
            EXPECT_EQ("in.qrv: error: cannot write: " + reason + "\n", run.errors);
        }
        EXPECT_TRUE(earlier == readBytes(pack));
        EXPECT_TRUE(files == filesIn(at));
    }
};

}  // namespace

// A limit that cuts the middle of the pack or only its last bytes, with SIGXFSZ at its default or ignored, and a
// read-only pack (for root too: read-only is on purpose), plain and welded; a replaced pack keeps its mode. The
// plain pack is large enough for its writing back to have started before the limit. Then INT, TERM, HUP, KILL and
// XFSZ at random moments: the folder holds the earlier pack or the whole new one, never a part, and no other file.
// XFSZ is ignored once the run has begun, so such runs finish.
TEST(WriteFaults, RefusedWritesAndSignalsLeaveTheEarlierPack) {
    for (const auto& args : {kPlain, kWelded}) {
        Folder folder(strips(3, 20000), args);
        const long long size = (long long)folder.converted.size();
        ASSERT_GT(size, 1 << 20);  // several writes
        for (long long cut : {size / 2, (4ll << 20) + 1, size - 1, size - 4096})
            for (bool ignored : {false, true})
                if (cut < size) folder.expectRefused(runIn(folder.at, args, 0, {cut, ignored}), "File too large");
        chmod(folder.pack.c_str(), 0444);
        folder.expectRefused(runIn(folder.at, args), "Permission denied");
        chmod(folder.pack.c_str(), 0640);
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(0, runIn(folder.at, args).exitCode);
        std::uniform_real_distribution<double> moment(
            0.0, 1.2 * std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        EXPECT_TRUE(folder.converted == readBytes(folder.pack));
        EXPECT_EQ(fs::perms(0640), fs::status(folder.pack).permissions());
        std::mt19937 random(12345);
        int ended = 0;
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGXFSZ}) {
            writeBytes(folder.pack, folder.earlier);
            const ProgramRun run = runIn(folder.at, args, 0, {-1, false, signal, moment(random)});
            const std::string pack = readBytes(folder.pack);
            // A signal held back while the pack took its name ends the run right after.
            EXPECT_TRUE(run.signal ? run.signal == signal && (pack == folder.earlier || pack == folder.converted)
                                   : run.exitCode == 0 && pack == folder.converted)
                << signal << " " << run.exitCode << " " << pack.size();
            ended += run.signal != 0;
            EXPECT_EQ(folder.files.size(), filesIn(folder.at).size());  // no temporary left
        }
        EXPECT_GT(ended, 0);
    }
}

// Every address-space limit from one the program cannot start in to one it converts in, 64 KiB apart, plain and
// welded: memory runs out at each stage in turn, some runs after the whole input was read, in the writer.
TEST(WriteFaults, AddressSpaceLimit) {
    if (!kMemoryLimits) GTEST_SKIP() << "the sanitizer reserves terabytes of address space";
    for (const auto& args : {kPlain, kWelded}) {
        Folder folder(strips(2, 3000), args);
        int code = -1, inWriter = 0;
        for (long long kib = 1024; kib < (1 << 20) && code != 0; kib += 64) {
            const ProgramRun run = runIn(folder.at, args, kib << 10);
            // Converted, or the loader found no room.
            if ((code = run.exitCode) == 0 || (code == 127 && run.output.empty())) continue;
            folder.expectRefused(run);
            EXPECT_EQ("ERROR: out of memory\n", run.output.substr(run.output.rfind('\n', run.output.size() - 2) + 1));
            EXPECT_EQ("in.ase: error: out of memory\n", run.errors);
            inWriter += readBytes(folder.dir / "app.log").find("mesh: Strip1\n") != std::string::npos;
        }
        EXPECT_TRUE(code == 0 && folder.converted == readBytes(folder.pack));
        EXPECT_GT(inWriter, 0);
    }
}

// A real full file system (a small tmpfs; needs root): filled to within a page of the pack's size, and full from
// the first byte.
TEST(WriteFaults, FullFileSystem) {
    ScratchDir mountPoint;
    if (geteuid() != 0 || mount("tmpfs", mountPoint.path.c_str(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "needs root to mount a tmpfs";
    struct Unmount { std::string path; ~Unmount() { umount2(path.c_str(), MNT_DETACH); } } unmount{mountPoint.path};
    for (bool fromFirstByte : {false, true}) {
        Folder folder(strips(1, 8000), kPlain, mountPoint.path);
        struct statvfs space;
        ASSERT_EQ(0, statvfs(mountPoint.path.c_str(), &space));
        const long long page = (long long)space.f_frsize, room = fromFirstByte ? 0 : (long long)folder.converted.size();
        writeBytes(mountPoint / "filler", std::string((size_t)(space.f_bavail * page - room / page * page), 'f'));
        folder.files["filler"] = "";
        folder.expectRefused(runIn(mountPoint.path, kPlain), "No space left on device");
        fs::remove(mountPoint / "filler");
    }
}
#endif
