#include "platform/allocator.h"
#include "platform/array.h"
#include "platform/string.h"
#include "support/test_support.h"
#include "writer/qrv_writer.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

TEST(Containers, StringExamplesAndArrays) {
    ensureServices();
    String s;
    for (const char* part : {(const char*)nullptr, "", "x", "yz"}) ASSERT_TRUE(s.tryAppend(part));
    EXPECT_TRUE(s.tryAssign(s) && std::strcmp("xyz", s.data) == 0 && s.length() == 3);
    EXPECT_TRUE(s.tryAssign(String()) && s.data == nullptr && s.length() == 0);  // the empty String, no storage
    struct { const char* path; int32_t stem; const char* name; } paths[] = {
        {"a.tar.gz", 5, "a.tar.gz"}, {"dir.v2\\file", 11, "file"}, {"d.v/f", 5, "f"}, {"maps/", 5, ""},
        {"a\\b/c.tga", 5, "b/c.tga"},  // '\' wins over a later '/'
    };
    for (const auto& row : paths) {
        EXPECT_EQ(row.stem, String::extensionStart(row.path, (int32_t)std::strlen(row.path))) << row.path;
        EXPECT_STREQ(row.name, String::fileNameStart(row.path)) << row.path;
    }
    for (auto [input, pack] : {std::pair<const char*, const char*>{"crate.ase", "crate.qrv"}, {"noext", "noext.qrv"},
                               {".ase", ".qrv"}, {"dir.v2/f", "dir.v2/f.qrv"}, {"d.v\\f", "d.v\\f.qrv"},
                               {"C:h.ASE", "C:h.qrv"}})
        EXPECT_STREQ(pack, outputPathFor(input).data);  // only a file's extension goes
    Array<double> a;  // grows by the rule, pushes its own elements while growing, resizes zeroed
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 503; ++i) {
        int32_t before = a.capacity;
        ASSERT_EQ(i, a.tryPush(i == 33 ? a[32] : i + 0.5));  // an element of its own storage, while it grows
        if (a.capacity != before) capacities.push_back(a.capacity);
    }
    EXPECT_EQ((std::vector<int32_t>{33, 78, 140, 225, 342, 503}), capacities);
    EXPECT_EQ(32.5, a[33]);
    for (int i = 0; i < 503; ++i) a[i] = -1;
    ASSERT_TRUE(a.tryResize(2));
    ASSERT_TRUE(a.tryResize(600));  // the records added back do not show the old values
    EXPECT_EQ(-1, a[1]);
    for (int i = 2; i < 600; ++i) ASSERT_EQ(0, a[i]) << i;
    // Sizes past what the allocator takes fail the try forms and leave everything as it was; release empties.
    ASSERT_TRUE(a.tryResize(3));
    a[2] = 7;
    EXPECT_FALSE(a.tryResize(INT32_MAX));  // 16 GiB in 32-bit sizes
    EXPECT_TRUE(a.count == 3 && a.capacity == 3 && a[2] == 7 && a.tryPush(8) == 3);
    a.release();
    EXPECT_TRUE(a.items == nullptr && a.count == 0 && a.capacity == 0 && a.tryPush(1) == 0);  // and it grows again
}

TEST(Allocator, OnlyAllocIsCountedAndTheCountSaturates) {
    resetLog();
    HeapAllocator heap;
    heap.free(heap.tryAlloc(100));
    EXPECT_EQ(nullptr, heap.tryRealloc(heap.tryRealloc(heap.tryRealloc(nullptr, 64), 4096), 0));  // size 0 releases
    EXPECT_EQ(100, heap.allocatedBytes);
    heap.count(INT32_MAX - 110);
    heap.free(heap.tryAlloc(64));
    heap.report();
    EXPECT_EQ("allocated: 2147483647 bytes\n", logText());
}
