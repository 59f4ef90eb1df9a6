#include <gtest/gtest.h>

#include "platform/replacing_file.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"

#include <cerrno>
#include <set>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Writes text to target through a ReplacingFile; commits when asked. 1 when every step succeeded.
int replaceWith(const std::string& target, const std::string& text, bool unnamed, bool commit = true,
                int* error = nullptr) {
    ensureServices();
    ReplacingFile file;
    file.unnamedAllowed = unnamed;
    if (!file.open(target.c_str())) {
        if (error) *error = file.error;
        return 0;
    }
    // A failed write shows in the commit, as it does for the pack.
    int ok = std::fwrite(text.data(), 1, text.size(), file.file()) == text.size();
    ok = commit ? file.commit() && ok : 0;
    if (error) *error = file.error;
    return ok;
}

#if !defined(_WIN32)
mode_t modeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The file-size limit of this process while it lives (SIGXFSZ is ignored by the file itself).
struct FileSizeLimit {
    struct rlimit saved;
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};
#endif

}  // namespace

// Both ways of writing (an unnamed file, and the hidden temporary that systems without one get): a new file and a
// replaced one hold exactly what was written; a file not committed, or a name longer than a temporary's would
// leave room for, changes nothing else; the directory holds no more than the target.
TEST(ReplacingFile, AppearsWholeOrNotAtAll) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        ScratchDir dir;
        const std::string target = dir / "pack.qrv", longName = dir / (std::string(251, 'n') + ".qrv");
        EXPECT_EQ(0, replaceWith(target, "never", unnamed, false));
        EXPECT_TRUE(namesIn(dir.path).empty());
        EXPECT_EQ(1, replaceWith(target, "first", unnamed));
        EXPECT_EQ(0, replaceWith(target, "discarded", unnamed, false));
        EXPECT_EQ("first", readBytes(target));
        EXPECT_EQ(1, replaceWith(target, std::string(3 << 20, 'x'), unnamed));
        EXPECT_EQ(std::string(3 << 20, 'x'), readBytes(target));
        EXPECT_EQ(1, replaceWith(longName, "long", unnamed));
        EXPECT_EQ(1, replaceWith(longName, "longer", unnamed));
        EXPECT_EQ("longer", readBytes(longName));
        EXPECT_EQ((std::set<std::string>{"pack.qrv", fs::path(longName).filename().string()}), namesIn(dir.path));
    }
}

// A read-only target or a folder is refused before anything is written (root too: read-only is on purpose);
// so is a target in a folder that does not exist.
TEST(ReplacingFile, RefusesWhatMayNotBeReplaced) {
    ScratchDir dir;
    const std::string target = dir / "locked.qrv";
    writeBytes(target, "kept");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(dir / "folder.qrv");
    for (bool unnamed : {true, false}) {
        int error = 0;
        EXPECT_EQ(0, replaceWith(target, "new", unnamed, true, &error));
        EXPECT_EQ(EACCES, error);
        EXPECT_EQ(0, replaceWith(dir / "folder.qrv", "new", unnamed, true, &error));
        EXPECT_EQ(EISDIR, error);
        EXPECT_EQ(0, replaceWith(dir / "missing/x.qrv", "new", unnamed, true, &error));
        EXPECT_EQ(ENOENT, error);
    }
    EXPECT_EQ("kept", readBytes(target));
    EXPECT_EQ((std::set<std::string>{"locked.qrv", "folder.qrv"}), namesIn(dir.path));
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
}

#if !defined(_WIN32)
// A replaced file keeps the permission bits of the one it replaces; a new one gets 0666 less the umask.
TEST(ReplacingFile, KeepsTheModeOfWhatItReplaces) {
    for (bool unnamed : {true, false}) {
        ScratchDir dir;
        const std::string target = dir / "pack.qrv";
        const mode_t previous = umask(027);
        EXPECT_EQ(1, replaceWith(target, "new", unnamed));
        EXPECT_EQ(0640u, modeOf(target));
        for (mode_t mode : {0600, 0644, 0664, 0200}) {
            chmod(target.c_str(), mode);
            EXPECT_EQ(1, replaceWith(target, "again", unnamed));
            EXPECT_EQ(mode, modeOf(target)) << std::oct << mode;
        }
        umask(previous);
    }
}

// A real file-size limit that cuts the first write, the middle or the last byte fails the commit with EFBIG, and
// the earlier file stays; so does the end of the process by INT, TERM or HUP while a hidden temporary is written
// (the unnamed file cannot outlive the process), unless the user had that signal ignored.
TEST(ReplacingFile, RealLimitsAndSignalsLeaveTheEarlierFile) {
    const std::string big(3 << 20, 'b');
    for (bool unnamed : {true, false}) {
        ScratchDir dir;
        const std::string target = dir / "pack.qrv";
        writeBytes(target, "earlier");
        for (rlim_t limit : {(rlim_t)0, (rlim_t)big.size() / 2, (rlim_t)big.size() - 1}) {
            int error = 0;
            {
                FileSizeLimit cut(limit);
                EXPECT_EQ(0, replaceWith(target, big, unnamed, true, &error)) << limit;
            }
            EXPECT_EQ(EFBIG, error) << limit;
            EXPECT_EQ("earlier", readBytes(target));
            EXPECT_EQ(std::set<std::string>{"pack.qrv"}, namesIn(dir.path));
        }
    }
    ensureServices();
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (bool ignored : {false, true}) {
            ScratchDir dir;
            const std::string target = dir / "pack.qrv";
            writeBytes(target, "earlier");
            const pid_t child = fork();
            if (child == 0) {
                std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
                ReplacingFile file;
                file.unnamedAllowed = false;
                file.open(target.c_str());
                std::fwrite(big.data(), 1, big.size(), file.file());
                kill(getpid(), signal);
                _exit(file.commit() ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(child, waitpid(child, &status, 0));
            if (ignored) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal;
                EXPECT_EQ(big, readBytes(target));
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
                EXPECT_EQ("earlier", readBytes(target));
            }
            EXPECT_EQ(std::set<std::string>{"pack.qrv"}, namesIn(dir.path));
        }
    }
}
#endif
