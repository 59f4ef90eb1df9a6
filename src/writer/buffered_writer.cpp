#include "writer/buffered_writer.h"

#include "platform/allocator.h"

BufferedWriter::BufferedWriter(Stream* target)
    : stream(target), buffer(nullptr), used(0), flushed(0), hasFailed(false) {
    // Scratch, not part of the counted allocation figure.
    buffer = (unsigned char*)gAllocator->tryRealloc(nullptr, kBufferSize);
    if (!buffer) ranOutOfMemory();
}

BufferedWriter::~BufferedWriter() { gAllocator->free(buffer); }

bool BufferedWriter::flush() {
    if (used > 0) {
        if (!hasFailed && !stream->write(buffer, used)) hasFailed = true;
        flushed += used;
        used = 0;
    }
    return !hasFailed;
}

void BufferedWriter::putSlow(const unsigned char* bytes, int32_t n) {
    // A block as large as the buffer goes to the stream as it is: copying it
    // first would only cost time.
    if (n >= kBufferSize) {
        flush();
        if (!hasFailed && !stream->write(bytes, n)) hasFailed = true;
        flushed += n;
        return;
    }
    while (n > 0) {
        if (used == kBufferSize) flush();
        int32_t part = kBufferSize - used;
        if (part > n) part = n;
        std::memcpy(buffer + used, bytes, (size_t)part);
        used += part;
        bytes += part;
        n -= part;
    }
}
