#pragma once
#include "ase/utf16_text.h"
#include "platform/stream.h"

// Serves reads from the whole contents of another stream, which it takes over
// and keeps open while it lives.
class MemoryReadStream : public Stream {
public:
    // Input that is UTF-16 text is held decoded (see utf16_text.h), and what
    // the decoding lost goes to decoding when given.
    explicit MemoryReadStream(Stream* source, Utf16Decoding* decoding = nullptr);
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
    // The bytes could not be held because memory ran out.
    bool outOfMemory() const { return memoryRanOut; }

    Stream* source;
    int32_t position;

private:
    const unsigned char* data;
    unsigned char* owned;
    int32_t dataSize;
    bool isComplete;
    bool memoryRanOut = false;

    Utf16Decoding decodeUtf16Text();
};
// app.log's allocated figure counts this object, and logs are compared from
// version to version: it keeps the size it has had.
static_assert(sizeof(void*) != 8 || sizeof(MemoryReadStream) == 48, "app.log counts this object's size");
