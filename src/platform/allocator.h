#pragma once
#include <cstdint>
#include <cstddef>
#include <new>

// All memory of the program's own data passes through here. alloc is counted;
// realloc and free are not.
class Allocator {
public:
    virtual void* alloc(int32_t size) = 0;
    virtual void* realloc(void* pointer, int32_t size) = 0;
    virtual void free(void* pointer) = 0;
    virtual void startup() = 0;
    virtual void report() = 0;

    // As alloc and realloc, but null when memory ran out (the block stays as it was),
    // for callers that unwind instead of ending the run.
    virtual void* tryAlloc(int32_t size) = 0;
    virtual void* tryRealloc(void* pointer, int32_t size) = 0;
    // Grows or shrinks a block of oldSize bytes to newSize bytes; bytes past
    // oldSize read as zero. Fresh blocks come zeroed from the system, so a large
    // block costs address space until it is written. Null when memory ran out.
    virtual void* tryReallocZeroed(void* pointer, int32_t oldSize, int32_t newSize) = 0;

    // Counts bytes that were obtained elsewhere (a mapped input file) as if
    // alloc had handed them out.
    virtual void count(int32_t size) = 0;

    // What the run works on (the input path), named on standard error when
    // memory runs out; null for none.
    const char* subject = nullptr;
};

// The one implementation over the C heap. alloc and realloc end the run with
// "ERROR: out of memory" when the heap cannot serve them. Safe to use from
// several threads, apart from the count.
class HeapAllocator : public Allocator {
public:
    void* alloc(int32_t size) override;
    void* realloc(void* pointer, int32_t size) override;
    void free(void* pointer) override;
    void startup() override;
    void report() override;
    void* tryAlloc(int32_t size) override;
    void* tryRealloc(void* pointer, int32_t size) override;
    void* tryReallocZeroed(void* pointer, int32_t oldSize, int32_t newSize) override;
    void count(int32_t size) override;

    // Total of all successful alloc requests. Saturates at INT32_MAX instead
    // of wrapping, so a huge run never reports a negative figure.
    int32_t allocatedBytes = 0;
};

extern Allocator* gAllocator;

// Byte size of count elements of elementSize bytes, or -1 when it does not fit
// the 32-bit sizes the allocator takes.
int32_t byteSize(int64_t count, int64_t elementSize);

// Ends the run because memory ran out: message on standard output, exit -1.
[[noreturn]] void outOfMemory();

// Objects created singly take their memory from the allocator and give it back
// through free when deleted.
// new (std::nothrow) gives null instead when memory ran out.
struct AllocatedObject {
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* pointer);
};
