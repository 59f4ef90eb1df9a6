#include "platform/replacing_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>

#if defined(_WIN32)
#include "platform/win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Every hidden temporary that exists, for the signal handler: it can reach
// nothing but static storage. A run has few files open at once (qrvinfo
// --obj two); a slot is taken only while its temporary has a name.
struct Temporary {
    volatile sig_atomic_t taken;
#if defined(_WIN32)
    char path[MAX_PATH * 2 + 32];
#else
    int directory;
    char name[32];
#endif
};
Temporary temporaries[8];

void onEndingSignal(int signal) {
    for (const Temporary& temporary : temporaries) {
        if (!temporary.taken) continue;
#if defined(_WIN32)
        DeleteFileA(temporary.path);
#else
        unlinkat(temporary.directory, temporary.name, 0);
#endif
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A free slot for a temporary, to be filled before it is marked taken; -1
// when none is free.
int takeTemporarySlot() {
    for (int slot = 0; slot < (int)(sizeof temporaries / sizeof temporaries[0]); ++slot)
        if (!temporaries[slot].taken) return slot;
    return -1;
}

void releaseTemporarySlot(int& slot) {
    if (slot >= 0) temporaries[slot].taken = 0;
    slot = -1;
}

// Catches the signals that end a process politely, except those the user
// had ignored (nohup leaves HUP so).
void installSignalCleanup() {
#if defined(_WIN32)
    std::signal(SIGINT, onEndingSignal);
    std::signal(SIGTERM, onEndingSignal);
#else
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous;
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
#endif
}

// Six characters for a temporary name, different from try to try.
void randomTail(char* out) {
    static unsigned serial = 0;
#if defined(_WIN32)
    unsigned seed = (unsigned)GetCurrentProcessId() * 2654435761u;
#else
    unsigned seed = (unsigned)getpid() * 2654435761u;
#endif
    seed += (unsigned)std::clock() * 40503u + (unsigned)std::time(nullptr) + ++serial * 97u;
    for (int i = 0; i < 6; ++i, seed /= 36) out[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
    out[6] = 0;
}

const char kTemporaryPrefix[] = ".tarvolt-";

void newTemporaryName(char (&name)[32]) {
    std::memcpy(name, kTemporaryPrefix, sizeof kTemporaryPrefix - 1);
    randomTail(name + sizeof kTemporaryPrefix - 1);
}

#if !defined(_WIN32)
// Holds INT, TERM and HUP back while a file changes names, so that none
// comes between a temporary name given and taken away.
struct SignalsHeld {
    sigset_t previous;
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        sigaddset(&held, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
};

// Whether the user may write the existing file. Root may write anything, but
// a file without any write bit is read-only on purpose: it is refused as it
// is on Windows.
bool userMayWrite(const char* path, const struct stat& info) {
    if (faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0) return false;
    return geteuid() != 0 || (info.st_mode & 0222) != 0;
}
#endif

}  // namespace

const char* reasonText(int error) { return std::strerror(error ? error : EIO); }

void ReplacingFile::fail(int reason) {
    if (!error) error = reason ? reason : EIO;
}

int ReplacingFile::wrote(int64_t n) {
    const int64_t kWriteBackBytes = 4 << 20;
    written += n;
    if (replacing && !error && written - flushing >= kWriteBackBytes) startWriteBack();
    return error ? 0 : 1;
}

// Starts writing back what was written since the last start, without waiting
// for it. A file that replaces nothing is left to the system's own pace:
// starting the writing back costs a wait of its own when the disk is busy.
void ReplacingFile::startWriteBack() {
    if (!handle || written <= flushing) return;
    if (std::fflush(handle) != 0) return fail(errno);
#if defined(__linux__)
    if (sync_file_range(fileno(handle), flushing, written - flushing, SYNC_FILE_RANGE_WRITE) != 0)
        return fail(errno);
#endif
    flushing = written;
}

#if defined(_WIN32)

int ReplacingFile::open(const char* target) {
    if (handle || error) return 0;
    const char* slash = nullptr;
    for (const char* c = target; *c; ++c)
        if (*c == '/' || *c == '\\') slash = c;
    if (!targetPath.tryAssign(target) || !directoryPath.tryAssign(target, slash ? (int32_t)(slash - target + 1) : 0))
        return fail(ENOMEM), 0;
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(EISDIR), 0;
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(EACCES), 0;
        replacing = true;
    }
    installSignalCleanup();
    for (int attempt = 0; attempt < 64; ++attempt) {
        newTemporaryName(temporaryName);
        String path;
        if (!path.tryAssign(directoryPath) || !path.tryAppend(temporaryName)) return fail(ENOMEM), 0;
        const int descriptor =
            _open(path.data, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            return fail(errno), 0;
        }
        named = true;
        pendingSlot = takeTemporarySlot();
        if (pendingSlot < 0 || path.length() >= (int32_t)sizeof temporaries[0].path) {
            pendingSlot = -1;
            fail(EMFILE);
            _close(descriptor);
            discard();
            return 0;
        }
        std::memcpy(temporaries[pendingSlot].path, path.data, (size_t)path.length() + 1);
        temporaries[pendingSlot].taken = 1;
        handle = _fdopen(descriptor, "wb");
        if (!handle) {
            fail(errno);
            _close(descriptor);
            discard();
            return 0;
        }
        return 1;
    }
    return fail(EEXIST), 0;
}

int ReplacingFile::commit() {
    if (!handle) return fail(EBADF), 0;
    if (std::fflush(handle) != 0 || std::ferror(handle)) fail(errno);
    const int closed = std::fclose(handle);
    handle = nullptr;
    if (closed != 0) fail(errno);
    String path;
    if (!path.tryAssign(directoryPath) || !path.tryAppend(temporaryName)) fail(ENOMEM);
    // Refused, as a direct write would be, when the target became read-only
    // or another program holds it open.
    const DWORD attributes = GetFileAttributesA(targetPath.data);
    if (!error && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) fail(EACCES);
    if (!error && !MoveFileExA(path.data, targetPath.data, MOVEFILE_REPLACE_EXISTING)) fail(EACCES);
    if (error) {
        discard();
        return 0;
    }
    releaseTemporarySlot(pendingSlot);
    named = false;
    return 1;
}

void ReplacingFile::discard() {
    if (handle) std::fclose(handle), handle = nullptr;
    if (named) {
        // Without memory for its name the temporary stays, as after a crash.
        String path;
        if (path.tryAssign(directoryPath) && path.tryAppend(temporaryName)) DeleteFileA(path.data);
    }
    releaseTemporarySlot(pendingSlot);
    named = false;
}

ReplacingFile::~ReplacingFile() { discard(); }

#else

int ReplacingFile::open(const char* target) {
    if (handle || error) return 0;
    // A file-size limit then fails the write, and the normal error path runs.
    std::signal(SIGXFSZ, SIG_IGN);
    const char* slash = std::strrchr(target, '/');
    if (!targetPath.tryAssign(target) ||
        !(slash ? directoryPath.tryAssign(target, (int32_t)(slash - target + 1)) : directoryPath.tryAssign(".")) ||
        !baseName.tryAssign(slash ? slash + 1 : target))
        return fail(ENOMEM), 0;
    if (baseName.length() == 0) return fail(EISDIR), 0;

    struct stat existing;
    mode_t keptMode = 0;
    if (stat(target, &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) return fail(EISDIR), 0;
        if (!userMayWrite(target, existing)) return fail(EACCES), 0;
        replacing = true;
        keptMode = existing.st_mode & 07777;
    }
    directory = ::open(directoryPath.data, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return fail(errno), 0;

    int descriptor = -1;
    // An unnamed file needs /proc to be given a name later.
    if (unnamedAllowed && access("/proc/self/fd", X_OK) == 0) {
        descriptor = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // These say the file system has no unnamed files; anything else is a
        // real refusal that a named file would meet too.
        if (descriptor < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return fail(errno), 0;
    }
    if (descriptor < 0) {
        installSignalCleanup();
        SignalsHeld held;
        for (int attempt = 0; attempt < 64 && descriptor < 0; ++attempt) {
            newTemporaryName(temporaryName);
            descriptor = openat(directory, temporaryName, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (descriptor < 0 && errno != EEXIST) return fail(errno), 0;
        }
        if (descriptor < 0) return fail(EEXIST), 0;
        named = true;
        pendingSlot = takeTemporarySlot();
        if (pendingSlot < 0) {
            close(descriptor);
            discard();
            return fail(EMFILE), 0;
        }
        temporaries[pendingSlot].directory = directory;
        std::memcpy(temporaries[pendingSlot].name, temporaryName, sizeof temporaryName);
        temporaries[pendingSlot].taken = 1;
    }
    // Best effort: a file system without modes keeps its own.
    if (replacing) fchmod(descriptor, keptMode);
    handle = fdopen(descriptor, "wb");
    if (!handle) {
        fail(errno);
        close(descriptor);
        discard();
        return 0;
    }
    return 1;
}

// Links the unnamed file under a hidden temporary name, so that it can be
// closed (a late write failure shows there) before it replaces anything:
// a link cannot replace a file, a rename can.
void ReplacingFile::nameTemporary() {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(handle));
    for (int attempt = 0; attempt < 64; ++attempt) {
        newTemporaryName(temporaryName);
        if (linkat(AT_FDCWD, self, directory, temporaryName, AT_SYMLINK_FOLLOW) == 0) {
            named = true;
            return;
        }
        if (errno != EEXIST) break;
    }
    fail(errno);
}

int ReplacingFile::commit() {
    if (!handle) return fail(EBADF), 0;
    if (replacing && !error) startWriteBack();
    if (std::fflush(handle) != 0 || std::ferror(handle)) fail(errno);
    // Nothing may end the process while a temporary has a name but no
    // handler knows it.
    SignalsHeld held;
    if (!error && !named) nameTemporary();
    const int closed = std::fclose(handle);
    handle = nullptr;
    if (closed != 0) fail(errno);
    if (!error && renameat(directory, temporaryName, directory, baseName.data) != 0) fail(errno);
    if (error) {
        discard();
        return 0;
    }
    named = false;
    releaseTemporarySlot(pendingSlot);
    return 1;
}

void ReplacingFile::discard() {
    if (handle) std::fclose(handle), handle = nullptr;
    if (named) {
        SignalsHeld held;
        unlinkat(directory, temporaryName, 0);
        releaseTemporarySlot(pendingSlot);
        named = false;
    }
}

ReplacingFile::~ReplacingFile() {
    discard();
    if (directory >= 0) close(directory);
}

#endif
