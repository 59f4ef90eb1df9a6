#include "platform/allocator.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

TEST(Allocator, OnlyAllocIsCountedAndTheCountSaturates) {
    resetLog();
    HeapAllocator heap;
    void* block = heap.alloc(100);
    EXPECT_EQ(nullptr, heap.realloc(heap.realloc(heap.realloc(nullptr, 64), 4096), 0));  // size 0 releases
    heap.free(block);
    EXPECT_EQ(100, heap.allocatedBytes);
    heap.count(INT32_MAX - 110);
    heap.free(heap.alloc(64));
    heap.report();
    EXPECT_EQ("allocated: 2147483647 bytes\n", logText());
}
