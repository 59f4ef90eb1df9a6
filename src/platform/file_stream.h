#pragma once
#include "platform/stream.h"

#include <cstdio>

class ReplacingFile;

// A Stream over a C library file handle.
class FileStream : public Stream {
public:
    explicit FileStream(FILE* handle, bool ownsHandle = true) : file(handle), owned(ownsHandle) {}
    ~FileStream() override;
    int close() override;
    int seek(int32_t offset) override;
    int skip(int32_t offset) override;
    int32_t tell() override;

    FILE* file;
    bool owned;  // closed by close() and the destructor; otherwise its owner's
};

class FileReadStream : public FileStream {
public:
    FileReadStream(FILE* handle, int32_t size) : FileStream(handle), fileSize(size) {}
    ~FileReadStream() override;
    int32_t read(void* buffer, int32_t n) override;
    int write(const void* buffer, int32_t n) override;
    int32_t size() override;
    const unsigned char* contents() override;

    int32_t fileSize;

private:
    const unsigned char* mapped = nullptr;
};

class FileWriteStream : public FileStream {
public:
    explicit FileWriteStream(FILE* handle, bool ownsHandle = true) : FileStream(handle, ownsHandle) {}
    int32_t read(void* buffer, int32_t n) override;
    int write(const void* buffer, int32_t n) override;
    int32_t size() override;

    int error = 0;  // errno value of the first failed write
    // Where the file is a ReplacingFile's: told of every write.
    ReplacingFile* replacing = nullptr;

private:
    // app.log's allocated figure counts the output stream, and logs are
    // compared from version to version: the object keeps the size it has had.
    [[maybe_unused]] char reserved[8] = {};
};
static_assert(sizeof(void*) != 8 || sizeof(FileWriteStream) == 40, "app.log counts this object's size");
