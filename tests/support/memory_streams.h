#pragma once
// Streams over memory, for reading and writing without files.
#include "platform/stream.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Serves a copy of some bytes. It lends no contents, so the reader copies them
// into a block of exactly that size, where the address sanitizer sees any
// read past the end.
class BytesStream : public Stream {
public:
    explicit BytesStream(std::string bytes) : bytes_(std::move(bytes)) {}
    BytesStream(const unsigned char* bytes, size_t size) : bytes_((const char*)bytes, size) {}
    int close() override { return 0; }
    int32_t read(void* buffer, int32_t n) override {
        if (n != size()) return 0;  // the reader asks for everything at once
        std::memcpy(buffer, bytes_.data(), (size_t)n);
        return n;
    }
    int write(const void*, int32_t) override { return 0; }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return 0; }
    int32_t size() override { return (int32_t)bytes_.size(); }

private:
    std::string bytes_;
};

// Collects what is written; fails every write once more than failAfter bytes
// would have been accepted (never when failAfter < 0).
class MemoryWriteStream : public Stream {
public:
    std::vector<unsigned char> bytes;
    int64_t failAfter = -1;
    int writeCalls = 0;

    int close() override { return 0; }
    int32_t read(void*, int32_t) override { return 0; }
    int write(const void* buffer, int32_t n) override {
        ++writeCalls;
        if (failAfter >= 0 && (int64_t)bytes.size() + n > failAfter) return 0;
        bytes.insert(bytes.end(), (const unsigned char*)buffer, (const unsigned char*)buffer + n);
        return 1;
    }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return (int32_t)bytes.size(); }
    int32_t size() override { return -1; }
};
