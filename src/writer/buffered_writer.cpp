#include "writer/buffered_writer.h"

#include "platform/allocator.h"

BufferedWriter::BufferedWriter(Stream* target, bool writeBehind)
    : stream(target), buffer(nullptr), used(0), flushed(0), hasFailed(false), spare(nullptr), spareUsed(0) {
    // Scratch, not part of the counted allocation figure.
    buffer = (unsigned char*)gAllocator->realloc(nullptr, kBufferSize);
    if (writeBehind && availableProcessors() > 1) spare = (unsigned char*)gAllocator->realloc(nullptr, kBufferSize);
}

BufferedWriter::~BufferedWriter() {
    settle();
    gAllocator->free(buffer);
    gAllocator->free(spare);
}

int BufferedWriter::writeSpare(void* context) {
    BufferedWriter& writer = *(BufferedWriter*)context;
    return writer.stream->write(writer.spare, writer.spareUsed);
}

void BufferedWriter::settle() {
    if (!helper.handle) return;
    if (!joinThread(helper)) hasFailed = true;
}

void BufferedWriter::handOff() {
    settle();
    if (!spare || used == 0 || hasFailed) {
        flush();
        return;
    }
    unsigned char* full = buffer;
    buffer = spare;
    spare = full;
    spareUsed = used;
    flushed += used;
    used = 0;
    // Without a helper the caller writes, as it would without writing behind.
    if (!startThread(helper, writeSpare, this) && !stream->write(spare, spareUsed)) hasFailed = true;
}

bool BufferedWriter::flush() {
    settle();
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
        if (used == kBufferSize) handOff();
        int32_t part = kBufferSize - used;
        if (part > n) part = n;
        std::memcpy(buffer + used, bytes, (size_t)part);
        used += part;
        bytes += part;
        n -= part;
    }
}
