#include "ase/memory_read_stream.h"

#include "platform/allocator.h"

#include <cstring>

MemoryReadStream::MemoryReadStream(Stream* from)
    : source(from), position(0), data(nullptr), owned(nullptr), dataSize(0), isComplete(true) {
    int32_t n = source->size();
    if (n <= 0) return;
    dataSize = n;
    // A stream that can lend its bytes (a mapped file) is used in place; the
    // bytes still count as if they had been copied.
    if (const unsigned char* lent = source->contents()) {
        gAllocator->count(n);
        data = lent;
        return;
    }
    owned = (unsigned char*)gAllocator->alloc(n);
    data = owned;
    if (!source->read(owned, n)) isComplete = false;
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
