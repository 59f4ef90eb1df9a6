#pragma once
#include "platform/stream.h"
#include <cstring>
#include <string>
#include <vector>

struct NullStream : Stream {
    int close() override { return 0; }
    int32_t read(void*, int32_t) override { return 0; }
    int write(const void*, int32_t) override { return 0; }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return 0; }
    int32_t size() override { return -1; }
};

// Serves a copy of some bytes without lending them, so the reader copies them into a block of exactly that size,
// where the sanitizer sees any overread. The reader asks for everything at once.
struct BytesStream : NullStream {
    std::string bytes;
    explicit BytesStream(std::string text) : bytes(std::move(text)) {}
    BytesStream(const unsigned char* data, size_t size) : bytes((const char*)data, size) {}
    int32_t size() override { return (int32_t)bytes.size(); }
    int32_t read(void* buffer, int32_t n) override { return n == size() ? (std::memcpy(buffer, &bytes[0], n), n) : 0; }
};

// Collects what is written; fails every write once more than failAfter bytes (when >= 0) would have been taken.
struct MemoryWriteStream : NullStream {
    std::vector<unsigned char> bytes;
    int64_t failAfter = -1;
    int writeCalls = 0;
    int32_t tell() override { return (int32_t)bytes.size(); }
    int write(const void* buffer, int32_t n) override {
        if (++writeCalls, failAfter >= 0 && (int64_t)bytes.size() + n > failAfter) return 0;
        return bytes.insert(bytes.end(), (const unsigned char*)buffer, (const unsigned char*)buffer + n), 1;
    }
};
