#pragma once
#include "platform/allocator.h"

#include <cstdint>

// Byte stream. Sizes, counts and offsets are 32-bit signed.
class Stream : public AllocatedObject {
public:
    virtual ~Stream() {}
    virtual int close() = 0;                                  // 0 on success
    virtual int32_t read(void* buffer, int32_t n) = 0;         // non-zero when n bytes were read
    virtual int write(const void* buffer, int32_t n) = 0;      // 1 when n bytes were written
    virtual int seek(int32_t offset) = 0;                      // 1 on success
    virtual int skip(int32_t offset) = 0;                      // 1 on success
    virtual int32_t tell() = 0;                                // -1 on failure
    virtual int32_t size() = 0;                                // -1 where there is none

    // The whole contents of a readable stream as one block that stays valid
    // while the stream lives, when the stream can offer it without copying;
    // null otherwise.
    virtual const unsigned char* contents() { return nullptr; }
};
