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

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Writes text to target through a ReplacingFile, committed when asked; the error it ends with, -1 when not committed.
int replaceWith(const std::string& target, const std::string& text, bool unnamed, bool commit = true) {
    ensureServices();
    ReplacingFile file;
    file.unnamedAllowed = unnamed;
    if (!file.open(target.c_str())) return file.error;
    // A failed write shows in the commit, as it does for the pack.
    std::fwrite(text.data(), 1, text.size(), file.file());
    return !commit ? -1 : file.commit() ? 0 : file.error;
}

}  // namespace

// Both ways of writing (an unnamed file, and the hidden temporary that systems without one get): a new file and a
// replaced one hold exactly what was written; a file not committed, or a name longer than a temporary's would leave
// room for, changes nothing else. A read-only target, a folder or a missing folder is refused before anything is
// written (root too: read-only is on purpose). The directory holds no more than the targets.
TEST(ReplacingFile, AppearsWholeOrNotAtAll) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        ScratchDir dir;
        const std::string target = dir / "pack.qrv", longName = std::string(251, 'n') + ".qrv", locked = dir / "locked";
        EXPECT_EQ(-1, replaceWith(target, "never", unnamed, false));
        EXPECT_TRUE(namesIn(dir.path).empty());
        for (const std::string& text : {std::string("first"), std::string(3 << 20, 'x')}) {
            EXPECT_EQ(0, replaceWith(target, text, unnamed));
            EXPECT_EQ(-1, replaceWith(target, "discarded", unnamed, false));
            EXPECT_EQ(text, readBytes(target));
        }
        EXPECT_TRUE(replaceWith(dir / longName, "long", unnamed) == 0 && replaceWith(dir / longName, "longer", unnamed) == 0);
        EXPECT_EQ("longer", readBytes(dir / longName));
        writeBytes(locked, "kept");
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
        std::filesystem::create_directory(dir / "folder.qrv");
        EXPECT_EQ(EACCES, replaceWith(locked, "new", unnamed));
        EXPECT_EQ(EISDIR, replaceWith(dir / "folder.qrv", "new", unnamed));
        EXPECT_EQ(ENOENT, replaceWith(dir / "missing/x.qrv", "new", unnamed));
        EXPECT_EQ("kept", readBytes(locked));
        EXPECT_EQ((std::set<std::string>{"pack.qrv", longName, "locked", "folder.qrv"}), namesIn(dir.path));
        std::filesystem::permissions(locked, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    }
}

#if !defined(_WIN32)
// A replaced file keeps the permission bits of the one it replaces; a new one gets 0666 less the umask. A real
// file-size limit that cuts the first write, the middle or the last byte fails the commit with EFBIG, and the
// earlier file stays.
TEST(ReplacingFile, KeepsModesAndTheEarlierFileUnderALimit) {
    const std::string big(3 << 20, 'b');
    for (bool unnamed : {true, false}) {
        ScratchDir dir;
        const std::string target = dir / "pack.qrv";
        struct stat info;
        const mode_t previous = umask(027);
        for (mode_t mode : {0640, 0600, 0644, 0664, 0200}) {
            if (mode != 0640) chmod(target.c_str(), mode);
            EXPECT_EQ(0, replaceWith(target, "earlier", unnamed));
            EXPECT_TRUE(stat(target.c_str(), &info) == 0 && (info.st_mode & 07777) == mode) << std::oct << mode;
        }
        umask(previous);
        chmod(target.c_str(), 0644);
        struct rlimit saved, limit;
        getrlimit(RLIMIT_FSIZE, &saved);
        for (rlim_t cut : {(rlim_t)0, (rlim_t)big.size() / 2, (rlim_t)big.size() - 1}) {
            limit = saved;
            limit.rlim_cur = cut;
            setrlimit(RLIMIT_FSIZE, &limit);
            const int error = replaceWith(target, big, unnamed);
            setrlimit(RLIMIT_FSIZE, &saved);
            EXPECT_EQ(EFBIG, error) << cut;
            EXPECT_EQ("earlier", readBytes(target));
        }
        EXPECT_EQ(std::set<std::string>{"pack.qrv"}, namesIn(dir.path));
    }
}

// The end of the process by INT, TERM or HUP while two hidden temporaries are written leaves neither behind and the
// earlier files as they were (an unnamed file cannot outlive the process), unless the user had that signal ignored.
TEST(ReplacingFile, SignalsRemoveEveryTemporary) {
    const std::string big(3 << 20, 'b');
    ensureServices();
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
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
                    files[i].open(targets[i].c_str());
                    std::fwrite(big.data(), 1, big.size(), files[i].file());
                }
                kill(getpid(), signal);
                _exit(files[0].commit() && files[1].commit() ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(child, waitpid(child, &status, 0));
            EXPECT_TRUE(ignored ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                                : WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
            for (const std::string& target : targets) EXPECT_EQ(ignored ? big : "earlier", readBytes(target)) << signal;
            EXPECT_EQ((std::set<std::string>{"a.mtl", "a.obj"}), namesIn(dir.path)) << signal;
        }
    }
}
#endif
