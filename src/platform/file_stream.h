#pragma once
#include "platform/stream.h"

#include <cstdio>

// A Stream over a C library file handle.
class FileStream : public Stream {
public:
    explicit FileStream(FILE* handle) : file(handle) {}
    ~FileStream() override;
    int close() override;
    int seek(int32_t offset) override;
    int skip(int32_t offset) override;
    int32_t tell() override;

    FILE* file;
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
    explicit FileWriteStream(FILE* handle) : FileStream(handle) {}
    int32_t read(void* buffer, int32_t n) override;
    int write(const void* buffer, int32_t n) override;
    int32_t size() override;
    int close() override;

    // Whether to start writing the file back as it is written: worth it for
    // a file that is to replace an existing one (see startWriteBack).
    bool writeBackEarly = false;

private:
    void startWriteBack();

    int64_t written = 0;   // bytes handed to the file
    int64_t flushing = 0;  // bytes whose writing back has been started
};
