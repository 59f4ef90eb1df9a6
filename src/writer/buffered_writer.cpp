#include "writer/buffered_writer.h"

#include "platform/allocator.h"

#include <cstdlib>

BufferedWriter::BufferedWriter(Stream* target, bool writeBehind)
    : stream(target), buffer(nullptr), used(0), flushed(0), hasFailed(false) {
    // Scratch, not part of the counted allocation figure.
    buffer = (unsigned char*)gAllocator->realloc(nullptr, kBufferSize);
    ring[0] = buffer;
    if (!writeBehind || availableProcessors() < 2) return;
    // The rest of the ring is a help, not a need: short of memory, or of a
    // thread, the caller writes as it would without it.
    bool ready = true;
    for (int i = 1; i < kRing; ++i) ready = (ring[i] = (unsigned char*)std::malloc(kBufferSize)) && ready;
    if (ready && createSemaphore(filled, 0)) {
        if (createSemaphore(empty, kRing - 1)) {
            behind = startThread(helper, runHelper, this) != 0;
            if (!behind) destroySemaphore(empty);
        }
        if (!behind) destroySemaphore(filled);
    }
}

BufferedWriter::~BufferedWriter() {
    if (behind) stopHelper();
    for (int i = 1; i < kRing; ++i) std::free(ring[i]);
    gAllocator->free(ring[0]);
}

int BufferedWriter::runHelper(void* context) {
    BufferedWriter& writer = *(BufferedWriter*)context;
    for (;;) {
        waitSemaphore(writer.filled);
        const int i = writer.written;
        const int32_t n = writer.ringUsed[i];
        if (n < 0) return 0;
        // After a failure the rest is dropped, as without writing behind.
        if (!writer.helperFailed && !writer.stream->write(writer.ring[i], n)) writer.helperFailed = true;
        writer.written = (i + 1) % kRing;
        postSemaphore(writer.empty);
    }
}

void BufferedWriter::settle() {
    if (!behind) return;
    // Every buffer but the caller's own free again means nothing is in flight.
    for (int i = 0; i < kRing - 1; ++i) waitSemaphore(empty);
    for (int i = 0; i < kRing - 1; ++i) postSemaphore(empty);
    if (helperFailed) hasFailed = true;
}

void BufferedWriter::stopHelper() {
    settle();
    ringUsed[next] = -1;
    postSemaphore(filled);
    joinThread(helper);
    destroySemaphore(filled);
    destroySemaphore(empty);
    behind = false;
}

void BufferedWriter::handOff() {
    if (!behind || used == 0 || hasFailed) {
        flush();
        return;
    }
    ringUsed[next] = used;
    postSemaphore(filled);
    flushed += used;
    used = 0;
    next = (next + 1) % kRing;
    waitSemaphore(empty);
    buffer = ring[next];
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
