#pragma once
#include "platform/stream.h"
#include "platform/string.h"

#include <cstdint>
#include <cstdio>

// The file service. Streams it returns belong to the caller.
class FileSystem {
public:
    virtual ~FileSystem() {}
    virtual Stream* openRead(const char* name) = 0;
    virtual Stream* openWrite(const char* name, int32_t append) = 0;
    virtual int exists(const char* name) = 0;
    virtual int32_t fileSize(const char* name) = 0;
    virtual int changeDirectory(const char* path) = 0;
    virtual int makeDirectory(const char* path) = 0;

    // 1 when both names lead to one existing file (through links or other
    // spellings too).
    virtual int sameFile(const char* a, const char* b) = 0;
};

// The one implementation, over the C library and the operating system.
class StdFileSystem : public FileSystem {
public:
    Stream* openRead(const char* name) override;
    Stream* openWrite(const char* name, int32_t append) override;
    int exists(const char* name) override;
    int32_t fileSize(const char* name) override;
    int changeDirectory(const char* path) override;
    int makeDirectory(const char* path) override;
    int sameFile(const char* a, const char* b) override;
};

extern FileSystem* gFileSystem;

// Opens name for reading when it is a regular file that a 32-bit size can
// describe, up to INT32_MAX bytes; the size goes to size. Null otherwise,
// with errno saying why: EISDIR a directory, ENODEV a device, FIFO or
// socket, EFBIG 2 GiB or more. A size may be INT32_MAX itself: room past the
// contents is counted in 64 bits.
FILE* openReadableFile(const char* name, int32_t* size);

// Why openReadableFile (or an open) failed, in the words a user reads:
// "is a directory", "not a regular file", "larger than 2 GiB", or
// "cannot open: " and the system's reason.
const char* openFailureText(int error);
