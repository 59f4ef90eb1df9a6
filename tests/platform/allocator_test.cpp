#include <gtest/gtest.h>

#include "platform/allocator.h"
#include "platform/log.h"
#include "support/test_support.h"

#include <climits>

TEST(Allocator, OnlyAllocIsCounted) {
    HeapAllocator heap;
    void* block = heap.alloc(100);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(100, heap.allocatedBytes);

    void* grown = heap.realloc(nullptr, 64);
    ASSERT_NE(nullptr, grown);
    grown = heap.realloc(grown, 4096);
    EXPECT_EQ(nullptr, heap.realloc(grown, 0));  // size 0 releases
    heap.free(nullptr);
    heap.free(block);
    EXPECT_EQ(100, heap.allocatedBytes);  // never decreased
}

TEST(Allocator, CounterSaturatesInsteadOfWrapping) {
    ensureServices();
    resetLog();
    HeapAllocator heap;
    heap.count(INT32_MAX - 10);
    void* block = heap.alloc(64);
    heap.free(block);
    EXPECT_EQ(INT32_MAX, heap.allocatedBytes);
    heap.count(INT32_MAX);
    EXPECT_EQ(INT32_MAX, heap.allocatedBytes);
    heap.report();
    EXPECT_EQ("allocated: 2147483647 bytes\n", logText());
}

TEST(Allocator, ByteSizeRefusesWhatAnInt32CannotHold) {
    EXPECT_EQ(12, byteSize(3, 4));
    EXPECT_EQ(INT32_MAX, byteSize(INT32_MAX, 1));
    EXPECT_EQ(-1, byteSize((int64_t)INT32_MAX / 4 + 1, 4));
    EXPECT_EQ(-1, byteSize(-1, 4));
}
