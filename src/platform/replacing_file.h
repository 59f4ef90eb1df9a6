#pragma once
#include "platform/string.h"

#include <cstdio>

// A file that takes its name only once every byte of it is written, so that
// an earlier file of that name is replaced whole or not at all.
//
// On Linux the bytes go to a file without a name (O_TMPFILE) in the target's
// directory: even a process killed outright leaves nothing behind. Elsewhere,
// or where the file system has no such files, they go to a hidden temporary
// ".tarvolt-XXXXXX" beside the target, which a caught INT, TERM or HUP
// removes, with every other one open, before the process ends as the signal
// would. SIGXFSZ is ignored
// from open on, so a file-size limit fails the write instead of ending the
// process.
//
// An existing target that is read-only, or that the user may not write, is
// not replaced (as Windows refuses it); a replaced file keeps its permission
// bits, a new one gets 0666 less the umask.
class ReplacingFile {
public:
    ReplacingFile() {}
    ~ReplacingFile();  // discards what was not committed

    // 1 when ready for writing; 0 on failure, with the reason in error.
    int open(const char* target);
    // Where the bytes go; null before a successful open.
    FILE* file() const { return handle; }
    // Tells the file that n more bytes went through file(). A file that
    // replaces one has its writing back started every few MiB: renaming over
    // an existing file makes the file system write back what still waits
    // first, and that wait was the run's longest step. 0 once anything failed.
    int wrote(int64_t n);
    // Gives the bytes written the target's name. 1 when the target now holds
    // exactly them; 0 otherwise (reason in error), the earlier file as it was
    // and no temporary left.
    int commit();

    int error = 0;  // errno value of the first failure, 0 while none

    // For tests: the hidden temporary even where an unnamed file would do.
    bool unnamedAllowed = true;

private:
    void fail(int reason);
    void discard();
    void nameTemporary();
    void startWriteBack();

    FILE* handle = nullptr;
    String targetPath;
    String directoryPath;
    String baseName;
    bool replacing = false;     // the target existed when opened
    bool named = false;         // the bytes are in temporaryName, not an unnamed file
    char temporaryName[32] = {};
    int pendingSlot = -1;       // the signal handler's record of the named temporary
    int64_t written = 0;   // bytes reported through wrote
    int64_t flushing = 0;  // bytes whose writing back has been started
#if !defined(_WIN32)
    int directory = -1;         // the target's directory, open
#endif

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
};

// Text of a reason from ReplacingFile::error or errno, for messages.
const char* reasonText(int error);
