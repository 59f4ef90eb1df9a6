#pragma once
#include <cstdint>
#include <cstddef>
#include <new>

// All memory of the program's own data passes through here. tryAlloc is
// counted; tryRealloc and free are not. Running out of memory is a result the
// caller passes up: each gives null then (the block stays as it was).
class Allocator {
public:
    virtual void* tryAlloc(int32_t size) = 0;
    virtual void* tryRealloc(void* pointer, int32_t size) = 0;
    virtual void free(void* pointer) = 0;
    virtual void startup() = 0;
    virtual void report() = 0;

    // Grows or shrinks a block of oldSize bytes to newSize bytes; bytes past
    // oldSize read as zero. Fresh blocks come zeroed from the system, so a large
    // block costs address space until it is written. Null when memory ran out.
    virtual void* tryReallocZeroed(void* pointer, int32_t oldSize, int32_t newSize) = 0;

    // Counts bytes that were obtained elsewhere (a mapped input file) as if
    // tryAlloc had handed them out.
    virtual void count(int32_t size) = 0;
};

// The one implementation over the C heap. Safe to use from several threads,
// apart from the count.
class HeapAllocator : public Allocator {
public:
    void free(void* pointer) override;
    void startup() override;
    void report() override;
    void* tryAlloc(int32_t size) override;
    void* tryRealloc(void* pointer, int32_t size) override;
    void* tryReallocZeroed(void* pointer, int32_t oldSize, int32_t newSize) override;
    void count(int32_t size) override;

    // Total of all successful tryAlloc requests. Saturates at INT32_MAX instead
    // of wrapping, so a huge run never reports a negative figure.
    int32_t allocatedBytes = 0;
};

extern Allocator* gAllocator;

// Byte size of count elements of elementSize bytes, or -1 when it does not fit
// the 32-bit sizes the allocator takes.
int32_t byteSize(int64_t count, int64_t elementSize);

// Objects created singly take their memory from the allocator and give it back
// through free when deleted. Only new (std::nothrow), which gives null when
// memory ran out.
struct AllocatedObject {
    static void* operator new(std::size_t size) = delete;
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* pointer);
};
