#include "platform/allocator.h"
#include "platform/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

Allocator* gAllocator = nullptr;

int32_t byteSize(int64_t count, int64_t elementSize) {
    int64_t bytes = count * elementSize;
    if (count < 0 || bytes > INT32_MAX) return -1;
    return (int32_t)bytes;
}

void* HeapAllocator::tryAlloc(int32_t size) {
    if (size < 0) return nullptr;
    void* result = std::malloc(size ? (std::size_t)size : 1);
    if (result) count(size);
    return result;
}

void* HeapAllocator::tryRealloc(void* pointer, int32_t size) {
    if (size < 0) return nullptr;
    if (size == 0) {
        std::free(pointer);
        return nullptr;
    }
    return std::realloc(pointer, (std::size_t)size);
}

void HeapAllocator::free(void* pointer) {
    if (pointer) std::free(pointer);
}

void HeapAllocator::startup() {
#if defined(__GLIBC__)
    // glibc raises its mmap threshold after a large block is freed, and then
    // serves the next large calloc from reused heap memory that it must clear
    // byte by byte. A fixed threshold keeps large zeroed blocks fresh from the
    // system, so a count declared in the file costs address space, not time.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void HeapAllocator::report() {
    gLog->print("allocated: %d bytes\n", allocatedBytes);
}

void* HeapAllocator::tryReallocZeroed(void* pointer, int32_t oldSize, int32_t newSize) {
    if (newSize < 0) return nullptr;
    if (newSize <= oldSize || newSize == 0) return tryRealloc(pointer, newSize);
    // calloc of a large block maps fresh zero pages: nothing is touched until used.
    void* result = std::calloc(1, (std::size_t)newSize);
    if (!result) return nullptr;
    if (pointer) {
        if (oldSize > 0) std::memcpy(result, pointer, (std::size_t)oldSize);
        std::free(pointer);
    }
    return result;
}

void HeapAllocator::count(int32_t size) {
    if (size > INT32_MAX - allocatedBytes)
        allocatedBytes = INT32_MAX;
    else
        allocatedBytes += size;
}

void* AllocatedObject::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return gAllocator->tryAlloc((int32_t)size);
}

void AllocatedObject::operator delete(void* pointer) {
    gAllocator->free(pointer);
}
