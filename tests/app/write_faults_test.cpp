// The real binary against real faults: a file-size limit, an address-space limit, a full file system, signals at
// random moments, packs
// it may not replace and inputs that are not files. After each, the earlier pack is as it was (or, after a signal
// that came too late, the new pack is complete) and the folder holds the same names as before.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include "support/scratch_dir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Spawn {
    std::vector<std::string> args;
    long long fileSizeLimit = -1;  // bytes, RLIMIT_FSIZE; -1 none
    bool ignoreFileSizeSignal = false;
    long long addressSpace = -1;  // bytes, RLIMIT_AS; -1 none
};

// Starts tarvolt in dir with standard output and errors into files of outDir (outside dir, so that dir's listing
// is the program's own doing).
pid_t start(const std::string& dir, const std::string& outDir, const Spawn& spawn) {
    const pid_t child = fork();
    if (child != 0) return child;
    if (chdir(dir.c_str()) != 0) _exit(120);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open((outDir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open((outDir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
    if (spawn.fileSizeLimit >= 0) {
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = (rlim_t)spawn.fileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (spawn.addressSpace >= 0) {
        const struct rlimit limit = {(rlim_t)spawn.addressSpace, (rlim_t)spawn.addressSpace};
        setrlimit(RLIMIT_AS, &limit);
    }
    std::signal(SIGXFSZ, spawn.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
    const struct rlimit noCore = {0, 0};  // a core file would change the listing
    setrlimit(RLIMIT_CORE, &noCore);
    std::vector<char*> argv = {(char*)TARVOLT_BINARY};
    for (const std::string& a : spawn.args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    execv(TARVOLT_BINARY, argv.data());
    _exit(121);
}

// Waits at most a minute; a run that takes longer is killed and counts as a hang.
int finish(pid_t child) {
    int status = 0;
    for (int waited = 0; waited < 6000; ++waited) {
        if (waitpid(child, &status, WNOHANG) == child) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    ADD_FAILURE() << "hung";
    return status;
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome runIn(const std::string& dir, const Spawn& spawn) {
    ScratchDir outDir;
    const int status = finish(start(dir, outDir.path, spawn));
    return {status, readBytes(outDir / "stdout"), readBytes(outDir / "stderr")};
}

bool exitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// An ASE scene of objects with one material, each a strip of triangles: about 340 bytes of text a face, a
// pack of 144 bytes a face plain.
std::string scene(int objects, int faces) {
    std::string t = "*3DSMAX_ASCIIEXPORT 200\n*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*MAP_DIFFUSE {\n"
                    "*BITMAP \"maps\\stone.tga\"\n}\n}\n}\n";
    char line[256];
    for (int o = 0; o < objects; ++o) {
        const int vertices = faces + 2;
        t += "*GEOMOBJECT {\n*NODE_TM {\n*NODE_NAME \"Strip" + std::to_string(o) + "\"\n}\n*MESH {\n*MESH_NUMVERTEX " +
             std::to_string(vertices) + "\n*MESH_NUMFACES " + std::to_string(faces) + "\n*MESH_VERTEX_LIST {\n";
        for (int v = 0; v < vertices; ++v) {
            std::snprintf(line, sizeof line, "*MESH_VERTEX %d %.4f %.4f %.4f\n", v, v * 0.5, (v % 2) * 1.0, o * 2.0);
            t += line;
        }
        t += "}\n*MESH_FACE_LIST {\n";
        for (int f = 0; f < faces; ++f) {
            std::snprintf(line, sizeof line, "*MESH_FACE %d: A: %d B: %d C: %d AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1 "
                          "*MESH_MTLID 0\n", f, f, f + 1, f + 2);
            t += line;
        }
        t += "}\n*MESH_NUMTVERTEX " + std::to_string(vertices) + "\n*MESH_TVERTLIST {\n";
        for (int v = 0; v < vertices; ++v) {
            std::snprintf(line, sizeof line, "*MESH_TVERT %d %.4f %.4f 0.0000\n", v, v * 0.01, (v % 2) * 1.0);
            t += line;
        }
        t += "}\n*MESH_NUMTVFACES " + std::to_string(faces) + "\n*MESH_TFACELIST {\n";
        for (int f = 0; f < faces; ++f) {
            std::snprintf(line, sizeof line, "*MESH_TFACE %d %d %d %d\n", f, f, f + 1, f + 2);
            t += line;
        }
        t += "}\n*MESH_NORMALS {\n";
        for (int f = 0; f < faces; ++f) {
            std::snprintf(line, sizeof line, "*MESH_FACENORMAL %d 0.0000 0.0000 1.0000\n", f);
            t += line;
            for (int k = 0; k < 3; ++k) {
                std::snprintf(line, sizeof line, "*MESH_VERTEXNORMAL %d 0.0000 0.0000 1.0000\n", f + k);
                t += line;
            }
        }
        t += "}\n}\n*MATERIAL_REF 0\n}\n";
    }
    return t;
}

// A folder with in.ase, the pack a first run wrote (then given other bytes, the "earlier pack") and app.log;
// the pack this input converts to comes back in converted.
struct Folder {
    ScratchDir dir;
    std::string pack = dir / "in.qrv", earlier, converted;
    Folder(const std::string& input, const std::vector<std::string>& options, const std::string& root = "") {
        const std::string at = root.empty() ? dir.path : root;
        pack = at + "/in.qrv";
        writeBytes(at + "/in.ase", input);
        std::vector<std::string> args = options;
        args.push_back("in.ase");
        const Outcome first = runIn(at, {args});
        EXPECT_TRUE(exitedWith(first.status, 0)) << first.out << first.err;
        converted = readBytes(pack);
        earlier = converted.substr(0, converted.size() / 3) + "an earlier pack";
        writeBytes(pack, earlier);
    }
};

const std::string kWriteError = "ERROR: could not write \"in.qrv\"\n";

}  // namespace

// A limit that cuts the middle of the pack or only its last bytes, with SIGXFSZ at its default or ignored,
// plain and welded: the run says it could not write the pack and why, exits with -1, and the earlier pack stays.
// The plain pack is large enough for its writing back to have started before the limit.
TEST(WriteFaults, FileSizeLimit) {
    const std::string input = scene(3, 20000);
    for (std::vector<std::string> options : {std::vector<std::string>{}, std::vector<std::string>{"-o"}}) {
        Folder folder(input, options);
        const long long size = (long long)folder.converted.size();
        ASSERT_GT(size, 1 << 20);  // several writes
        options.push_back("in.ase");
        for (long long limit : {size / 2, (long long)(4 << 20) + 1, size - 1, size - 4096}) {
            if (limit >= size) continue;  // the welded pack is smaller
            for (bool ignored : {false, true}) {
                SCOPED_TRACE(std::to_string(limit) + (ignored ? " ignored" : " default") + " " + options[0]);
                const std::set<std::string> before = namesIn(folder.dir.path);
                const Outcome run = runIn(folder.dir.path, {options, limit, ignored});
                EXPECT_TRUE(exitedWith(run.status, 255)) << run.status;
                EXPECT_NE(std::string::npos, run.out.find(kWriteError)) << run.out;
                EXPECT_EQ("in.qrv: error: cannot write: File too large\n", run.err);
                EXPECT_TRUE(folder.earlier == readBytes(folder.pack));
                EXPECT_EQ(before, namesIn(folder.dir.path));
            }
        }
    }
}

// Every address-space limit from one the program cannot start in to one it converts in, 64 KiB apart, plain and
// welded: memory runs out at each stage in turn (the input's copy, the reader, the pack's buffer, the welder).
// Each run converts, or says so on standard output and error and exits with -1, the earlier pack and the
// folder's names as they were. Some runs must fail after the whole input was read, in the writer.
TEST(WriteFaults, AddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer reserves terabytes of address space";
#endif
#endif
    const std::string input = scene(2, 3000);
    for (std::vector<std::string> options : {std::vector<std::string>{}, std::vector<std::string>{"-o"}}) {
        Folder folder(input, options);
        options.push_back("in.ase");
        const std::set<std::string> before = namesIn(folder.dir.path);
        bool converted = false;
        int inWriter = 0;
        for (long long kib = 1024; kib < (1 << 20) && !converted; kib += 64) {
            SCOPED_TRACE(std::to_string(kib) + " KiB " + options[0]);
            const Outcome run = runIn(folder.dir.path, {options, -1, false, kib << 10});
            if (exitedWith(run.status, 127) && run.out.empty()) continue;  // the loader found no room
            if ((converted = exitedWith(run.status, 0))) {
                EXPECT_TRUE(folder.converted == readBytes(folder.pack));
                continue;
            }
            EXPECT_TRUE(exitedWith(run.status, 255)) << run.status << run.out << run.err;
            EXPECT_EQ("ERROR: out of memory\n", run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1));
            EXPECT_EQ("in.ase: error: out of memory\n", run.err);
            EXPECT_TRUE(folder.earlier == readBytes(folder.pack));
            EXPECT_EQ(before, namesIn(folder.dir.path));
            inWriter += readBytes(folder.dir / "app.log").find("mesh: Strip1\n") != std::string::npos;
        }
        EXPECT_TRUE(converted);
        EXPECT_GT(inWriter, 0);
    }
}

// A real full file system (a small tmpfs; needs root): filled to within a page of the pack's size, and full from
// the first byte. The pack in it is not replaced, and nothing is left in it.
TEST(WriteFaults, FullFileSystem) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs";
    ScratchDir mountPoint;
    if (mount("tmpfs", mountPoint.path.c_str(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint.path};
    const std::string input = scene(1, 8000);
    for (bool fromFirstByte : {false, true}) {
        SCOPED_TRACE(fromFirstByte ? "full" : "a page short");
        Folder folder(input, {}, mountPoint.path);
        struct statvfs space;
        ASSERT_EQ(0, statvfs(mountPoint.path.c_str(), &space));
        const long long page = (long long)space.f_frsize, free = (long long)space.f_bavail * page;
        const long long room = fromFirstByte ? 0 : ((long long)folder.converted.size() / page) * page;
        ASSERT_GT(free, room + page);
        writeBytes(mountPoint / "filler", std::string((size_t)(free - room), 'f'));
        const std::set<std::string> before = namesIn(mountPoint.path);
        const Outcome run = runIn(mountPoint.path, {{"in.ase"}});
        EXPECT_TRUE(exitedWith(run.status, 255)) << run.status;
        EXPECT_NE(std::string::npos, run.out.find(kWriteError)) << run.out;
        EXPECT_EQ("in.qrv: error: cannot write: No space left on device\n", run.err);
        EXPECT_TRUE(folder.earlier == readBytes(folder.pack));
        EXPECT_EQ(before, namesIn(mountPoint.path));
        fs::remove(mountPoint / "filler");
    }
}

// INT, TERM, HUP, KILL and XFSZ sent at random moments of a large conversion: the folder holds the earlier pack
// or the whole new one, never a part, and no other file. XFSZ is ignored once the run has begun, so such runs
// finish.
TEST(WriteFaults, SignalsAtRandomMoments) {
    const std::string input = scene(3, 20000);
    for (std::vector<std::string> options : {std::vector<std::string>{}, std::vector<std::string>{"-o"}}) {
        Folder folder(input, options);
        options.push_back("in.ase");
        const std::set<std::string> names = namesIn(folder.dir.path);
        auto begin = std::chrono::steady_clock::now();
        runIn(folder.dir.path, {options});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        std::mt19937 random(12345);
        std::uniform_real_distribution<double> moment(0.0, seconds * 1.2);
        int ended = 0, finished = 0;
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL, SIGXFSZ}) {
            for (int round = 0; round < 4; ++round) {
                writeBytes(folder.pack, folder.earlier);
                ScratchDir outDir;
                const pid_t child = start(folder.dir.path, outDir.path, {options});
                std::this_thread::sleep_for(std::chrono::duration<double>(moment(random)));
                kill(child, signal);
                const int status = finish(child);
                const std::string pack = readBytes(folder.pack);
                SCOPED_TRACE(std::to_string(signal) + " " + options[0]);
                if (WIFSIGNALED(status)) {
                    // A signal held back while the pack took its name ends the run right after.
                    EXPECT_EQ(signal, WTERMSIG(status));
                    EXPECT_TRUE(pack == folder.earlier || pack == folder.converted) << pack.size();
                    ++ended;
                } else {
                    EXPECT_TRUE(exitedWith(status, 0)) << status << readBytes(outDir / "stdout");
                    EXPECT_TRUE(pack == folder.converted) << pack.size();
                    ++finished;
                }
                EXPECT_EQ(names, namesIn(folder.dir.path));
            }
        }
        EXPECT_GT(ended, 0);
        std::printf("%s: %d runs ended by the signal, %d finished\n", options[0].c_str(), ended, finished);
    }
}

// A read-only pack is not replaced (root too: read-only is on purpose); a replaced pack keeps its mode; a stem
// of 250 bytes converts and is replaced like any other; inputs that are not regular files are refused without
// a wait and without a file beside them.
TEST(WriteFaults, ReplacesAsTheUserSetIt) {
    Folder folder(scene(1, 10), {});
    chmod(folder.pack.c_str(), 0444);
    Outcome run = runIn(folder.dir.path, {{"in.ase"}});
    EXPECT_TRUE(exitedWith(run.status, 255));
    EXPECT_NE(std::string::npos, run.out.find(kWriteError)) << run.out;
    EXPECT_EQ("in.qrv: error: cannot write: Permission denied\n", run.err);
    EXPECT_TRUE(folder.earlier == readBytes(folder.pack));
    chmod(folder.pack.c_str(), 0640);
    run = runIn(folder.dir.path, {{"in.ase"}});
    EXPECT_TRUE(exitedWith(run.status, 0));
    EXPECT_TRUE(folder.converted == readBytes(folder.pack));
    struct stat info;
    EXPECT_EQ(0, stat(folder.pack.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);

    const std::string stem(250, 's');
    writeBytes(folder.dir / (stem + ".ase"), scene(1, 10));
    for (int pass = 0; pass < 2; ++pass) {
        run = runIn(folder.dir.path, {{stem + ".ase"}});
        EXPECT_TRUE(exitedWith(run.status, 0)) << run.out << run.err;
        EXPECT_TRUE(folder.converted == readBytes(folder.dir / (stem + ".qrv")));
    }

    ASSERT_EQ(0, mkfifo((folder.dir / "pipe.ase").c_str(), 0644));
    const std::set<std::string> before = namesIn(folder.dir.path);
    const bool zeroPack = fs::exists("/dev/zero.qrv");
    for (const std::string input : {"pipe.ase", "/dev/zero"}) {
        run = runIn(folder.dir.path, {{input}});
        EXPECT_TRUE(exitedWith(run.status, 255)) << input;
        EXPECT_NE(std::string::npos, run.out.find("ERROR: could not open \"" + input + "\"")) << run.out;
    }
    EXPECT_EQ(before, namesIn(folder.dir.path));
    EXPECT_EQ(zeroPack, fs::exists("/dev/zero.qrv"));
}
#endif
