#include "ase/memory_read_stream.h"

#include "platform/allocator.h"

#include <cstring>

MemoryReadStream::MemoryReadStream(Stream* from, Utf16Decoding* decoding)
    : source(from), position(0), data(nullptr), owned(nullptr), dataSize(0), isComplete(true) {
    int32_t n = source->size();
    if (n <= 0) return;
    // A stream that can lend its bytes (a mapped file) is used in place; the
    // bytes still count as if they had been copied.
    data = source->contents();
    if (!data) {
        // Counted below, once it is known what the reader gets of it.
        owned = (unsigned char*)gAllocator->tryRealloc(nullptr, n);
        if (!owned) {
            memoryRanOut = true;
            isComplete = false;
            return;
        }
        data = owned;
        if (!source->read(owned, n)) isComplete = false;
    }
    dataSize = n;
    if (isComplete && startsWithUtf16Mark(data, n)) {
        const Utf16Decoding decoded = decodeUtf16Text();
        if (decoding) *decoding = decoded;
    }
    // What counts is the text the reader gets, so a UTF-16 file counts as
    // its 8-bit form would.
    gAllocator->count(dataSize);
}

// A copy is decoded in place; a lent (mapped) file stays mapped, so that a
// file that shrinks while it is read is still noticed.
Utf16Decoding MemoryReadStream::decodeUtf16Text() {
    const int32_t capacity = utf16TextCapacity(dataSize);
    unsigned char* text = owned;
    if (!text && capacity > 0) text = (unsigned char*)gAllocator->tryRealloc(nullptr, capacity);
    if (!text && capacity > 0) {
        memoryRanOut = true;
        isComplete = false;
        return Utf16Decoding();
    }
    const Utf16Decoding utf16 = decodeUtf16(data, dataSize, text);
    // Exactly the text's size, as a copy of an 8-bit file has.
    if (utf16.size == 0) {
        gAllocator->free(text);
        text = nullptr;
    } else if (void* fitted = gAllocator->tryRealloc(text, utf16.size)) {
        text = (unsigned char*)fitted;
    }
    owned = text;
    data = text;
    dataSize = utf16.size;
    return utf16;
}

MemoryReadStream::~MemoryReadStream() {
    delete source;
    gAllocator->free(owned);
}

int MemoryReadStream::close() { return 0; }

int32_t MemoryReadStream::read(void* buffer, int32_t n) {
    if (n <= 0 || position < 0 || n > dataSize - position) return 0;
    std::memcpy(buffer, data + position, (size_t)n);
    position += n;
    return n;
}

int MemoryReadStream::write(const void*, int32_t) { return 0; }

int MemoryReadStream::seek(int32_t offset) {
    if (offset >= dataSize || offset < 0) return 0;
    position = offset;
    return 1;
}

int MemoryReadStream::skip(int32_t offset) {
    int64_t moved = (int64_t)position + offset;
    position = moved > INT32_MAX ? INT32_MAX : moved < INT32_MIN ? INT32_MIN : (int32_t)moved;
    return 1;
}

int32_t MemoryReadStream::tell() { return position; }

int32_t MemoryReadStream::size() { return dataSize; }
