#pragma once
#include "platform/stream.h"

#include <cstdint>
#include <cstring>

// Collects little-endian output in a large buffer and hands it to a Stream in
// big writes. After the first failed write every later one is dropped and
// failed() stays true.
class BufferedWriter {
public:
    static const int32_t kBufferSize = 1 << 20;

    explicit BufferedWriter(Stream* stream);
    ~BufferedWriter();

    void put(const void* bytes, int32_t n) {
        if (n <= kBufferSize - used) {
            std::memcpy(buffer + used, bytes, (size_t)n);
            used += n;
        } else {
            putSlow((const unsigned char*)bytes, n);
        }
    }
    void putU32(uint32_t value) {
        unsigned char bytes[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                                  (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
        put(bytes, 4);
    }
    void putU16(uint16_t value) {
        unsigned char bytes[2] = {(unsigned char)value, (unsigned char)(value >> 8)};
        put(bytes, 2);
    }
    void putF32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        putU32(bits);
    }

    // Room for n bytes at the end of the buffer, to be filled by the caller and
    // then committed; n must not exceed kBufferSize.
    unsigned char* reserve(int32_t n) {
        if (n > kBufferSize - used) flush();
        return buffer + used;
    }
    void commit(int32_t n) { used += n; }

    // Bytes put so far, flushed or not.
    int64_t position() const { return flushed + used; }

    // Hands the buffer to the stream; false once any write has failed.
    bool flush();
    bool failed() const { return hasFailed; }
    // Memory ran out, here or for what was being written: every later write
    // is dropped. The buffer itself may be missing then.
    void ranOutOfMemory() { hasFailed = memoryRanOut = true; }
    bool outOfMemory() const { return memoryRanOut; }

private:
    void putSlow(const unsigned char* bytes, int32_t n);

    Stream* stream;
    unsigned char* buffer;
    int32_t used;
    int64_t flushed;
    bool hasFailed;
    bool memoryRanOut = false;

    BufferedWriter(const BufferedWriter&) = delete;
    BufferedWriter& operator=(const BufferedWriter&) = delete;
};

// Little-endian stores into a byte area, for records assembled in place. Every
// target is little-endian, so a value is copied as it is: the compiler does
// not always merge byte stores, and records are most of the output.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are stored in the host's byte order");
inline void storeU32(unsigned char* at, uint32_t value) { std::memcpy(at, &value, 4); }
inline void storeF32(unsigned char* at, float value) { std::memcpy(at, &value, 4); }
inline void storeU16(unsigned char* at, uint16_t value) { std::memcpy(at, &value, 2); }
