#include <gtest/gtest.h>
#include "platform/filesystem.h"
#include "platform/log.h"
#include "platform/replacing_file.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"

#include <cerrno>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

// Writes text to target through a ReplacingFile, committed when asked; the error it ends with, -1 when not committed.
static int replaceWith(const std::string& target, const std::string& text, bool unnamed, bool commit = true) {
    ensureServices();
    ReplacingFile file;  // a failed write shows in the commit, as it does for the pack
    file.unnamedAllowed = unnamed;
    if (!file.open(target.c_str())) return file.error;
    std::fwrite(text.data(), 1, text.size(), file.file());
    return !commit ? -1 : file.commit() ? 0 : file.error;
}

static long entriesIn(const std::string& dir) { return std::distance(fs::directory_iterator(dir), {}); }

// Both ways of writing (unnamed, and the hidden temporary of systems without): a file appears whole when committed
// (also where a temporary's name would not fit), else not at all; read-only targets (root too), folders and missing
// folders are refused; permission bits are kept, or 0666 less the umask; a real file-size limit at the first, middle
// or last byte fails with EFBIG and the earlier file stays. No temporary is left behind.
TEST(ReplacingFile, AppearsWholeOrNotAtAll) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        ScratchDir dir;
        const std::string target = dir / "pack.qrv", longName = dir / (std::string(251, 'n') + ".qrv");
        EXPECT_EQ(-1, replaceWith(target, "never", unnamed, false));
        EXPECT_EQ(0, entriesIn(dir.path));
        for (const std::string& text : {std::string("first"), std::string(3 << 20, 'x')}) {
            EXPECT_EQ(0, replaceWith(target, text, unnamed));
            EXPECT_EQ(-1, replaceWith(target, "discarded", unnamed, false));
            EXPECT_EQ(text, readBytes(target));
        }
        EXPECT_TRUE(replaceWith(longName, "long", unnamed) == 0 && replaceWith(longName, "longer", unnamed) == 0);
        EXPECT_EQ("longer", readBytes(longName));
        writeBytes(dir / "locked", "kept");
        fs::permissions(dir / "locked", fs::perms::owner_read);
        fs::create_directory(dir / "folder.qrv");
        EXPECT_EQ(EACCES, replaceWith(dir / "locked", "new", unnamed));
        EXPECT_EQ(EISDIR, replaceWith(dir / "folder.qrv", "new", unnamed));
        EXPECT_EQ(ENOENT, replaceWith(dir / "missing/x.qrv", "new", unnamed));
        EXPECT_EQ("kept", readBytes(dir / "locked"));
        fs::permissions(dir / "locked", fs::perms::owner_write, fs::perm_options::add);
#if !defined(_WIN32)
        const mode_t previous = umask(027);
        struct stat info;
        fs::remove(target);
        for (mode_t mode : {0640, 0600, 0644, 0664, 0200}) {  // new, then replacing
            if (mode != 0640) chmod(target.c_str(), mode);
            EXPECT_EQ(0, replaceWith(target, "earlier", unnamed));
            EXPECT_TRUE(stat(target.c_str(), &info) == 0 && (info.st_mode & 07777) == mode) << std::oct << mode;
        }
        umask(previous);
        struct rlimit saved, limit;
        getrlimit(RLIMIT_FSIZE, &saved), limit = saved;
        for (rlim_t cut : {(rlim_t)0, (rlim_t)(3 << 19), (rlim_t)(3 << 20) - 1}) {
            limit.rlim_cur = cut, setrlimit(RLIMIT_FSIZE, &limit);
            const int error = replaceWith(target, std::string(3 << 20, 'b'), unnamed);
            setrlimit(RLIMIT_FSIZE, &saved);
            EXPECT_TRUE(error == EFBIG && readBytes(target) == "earlier") << cut << " " << error;
        }
#endif
        EXPECT_EQ(4, entriesIn(dir.path));
    }
}

#if !defined(_WIN32)
// The end of the process by INT, TERM or HUP while two hidden temporaries are written leaves neither behind and the
// earlier files as they were (an unnamed file cannot outlive the process), unless the user had that signal ignored.
TEST(ReplacingFile, SignalsRemoveEveryTemporary) {
    ensureServices();
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        for (bool ignored : {false, true}) {
            ScratchDir dir;
            const std::string targets[] = {dir / "a.obj", dir / "a.mtl"};
            for (const std::string& target : targets) writeBytes(target, "earlier");
            const pid_t child = fork();
            if (child == 0) {
                std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
                ReplacingFile files[2];
                for (int i = 0; i < 2; ++i) {
                    files[i].unnamedAllowed = false;
                    files[i].open(targets[i].c_str()), std::fwrite("new", 1, 3, files[i].file());
                }
                kill(getpid(), signal);
                _exit(files[0].commit() && files[1].commit() ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(child, waitpid(child, &status, 0));
            EXPECT_EQ(ignored ? 0 : -signal, WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status));
            for (const auto& target : targets) EXPECT_EQ(ignored ? "new" : "earlier", readBytes(target)) << signal;
            EXPECT_EQ(2, entriesIn(dir.path)) << signal;
        }
}
#endif

TEST(Streams, ReadWriteAndWhatCannotBeRead) {
    ensureServices();
    ScratchDir dir;
    const std::string empty = dir / "empty", five = dir / "five", huge = dir / "huge";
    EXPECT_TRUE(!gFileSystem->openRead((dir / "missing").c_str()) && !gFileSystem->openRead(dir.path.c_str()));
    writeBytes(empty, "");
    char buffer[4] = {};
    Stream* s = gFileSystem->openRead(empty.c_str());
    EXPECT_TRUE(s && s->size() == 0 && s->read(buffer, 1) == 0);
    delete s;
    writeBytes(five, "old content");
    for (int append : {0, 1}) {  // truncates, then appends
        Stream* w = gFileSystem->openWrite(five.c_str(), append);
        EXPECT_TRUE(w && w->write(append ? "lo" : "hel", 3 - append) == 1 && w->size() == -1);
        delete w;
    }
    s = gFileSystem->openRead(five.c_str());
    ASSERT_TRUE(s && s->size() == 5 && s->skip(2) == 1);
    EXPECT_TRUE(s->read(buffer, 4) == 0 && s->seek(1) == 1 && s->read(buffer, 4) == 1 && !memcmp(buffer, "ello", 4));
    delete s;
    std::error_code error;
    writeBytes(huge, "");
    std::filesystem::resize_file(huge, 2147483648ull, error);  // sparse 2 GiB: too large
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    EXPECT_EQ(nullptr, gFileSystem->openRead(huge.c_str()));
    std::filesystem::resize_file(huge, 2147483647ull, error);  // one byte less fits
    EXPECT_EQ(INT32_MAX, gFileSystem->fileSize(huge.c_str()));
}

// Each Log of its own, in a scratch directory: a Log writes "app.log" there when it is destroyed.
TEST(Log, MessagesLinesAndLimits) {
    ScratchDir dir;
    InDirectory inDir(dir.path);
    Log* log = new Log;  // two messages make one line; the unfinished last line is not written
    log->print("abc"), log->print("%s%d\n", "def", 7), log->print("tail");
    delete log;
    EXPECT_EQ(native("abcdef7\n"), readBytes("app.log"));
    Log full;  // exactly 65,536 bytes kept; one more byte drops every earlier line and the unfinished one
    for (int i = 0; i < 16; ++i) full.print("%s\n", std::string(4094, 'a').c_str());
    full.print("%s", std::string(16, 'b').c_str());
    EXPECT_TRUE(full.mark().used == 65536 && full.lineTotal() == 16);
    full.print("c\n"), full.writeFile("out.log");
    EXPECT_EQ(native("c\n"), readBytes("out.log"));
    Log lines;  // the 1025th line grows the table to 2048; a message over 4095 characters is cut
    for (int i = 0; i < 1024; ++i) lines.print("%d\n", i % 10);
    EXPECT_EQ(1024, lines.lineSlots());
    lines.print("%s\n", std::string(5000, 'm').c_str());  // the '\n' falls beyond the cut
    lines.print("\n");
    EXPECT_TRUE(lines.lineSlots() == 2048 && std::string(lines.line(1024), 4096) == std::string(4095, 'm') + "\n");
}
