#pragma once
#include "platform/stream.h"

// Serves reads from the whole contents of another stream, which it takes over
// and keeps open while it lives.
class MemoryReadStream : public Stream {
public:
    explicit MemoryReadStream(Stream* source);
    ~MemoryReadStream() override;

    int close() override;
    int32_t read(void* buffer, int32_t n) override;
    int write(const void* buffer, int32_t n) override;
    int seek(int32_t offset) override;
    int skip(int32_t offset) override;
    int32_t tell() override;
    int32_t size() override;
    const unsigned char* contents() override { return data; }

    // False when the source could not deliver all of its bytes.
    bool complete() const { return isComplete; }

    Stream* source;
    int32_t position;

private:
    const unsigned char* data;
    unsigned char* owned;
    int32_t dataSize;
    bool isComplete;
};
