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
    for (const char* part : {(const char*)nullptr, "", "x", "yz"}) s.append(part);
    struct { String made; const char* text; } rows[] = {  // null: the empty String, no storage; only a file's extension goes
        {s.concat(".qrv"), "xyz.qrv"}, {String("a.tar.gz").withoutExtension(), "a.tar"},
        {outputPathFor("crate.ase"), "crate.qrv"}, {outputPathFor("noext"), "noext.qrv"}, {outputPathFor(".ase"), ".qrv"},
        {outputPathFor("dir.v2/f"), "dir.v2/f.qrv"}, {outputPathFor("d.v\\f"), "d.v\\f.qrv"}, {outputPathFor("C:h.ASE"), "C:h.qrv"},
        {String().withoutExtension(), nullptr}, {String("maps/").fileName(), ""},
        {String("a\\b/c.tga").fileName(), "b/c.tga"},  // '\' wins over a later '/'
        {String("abc").assign(String("defg")), "defg"}, {s.assign(s), "xyz"}, {s.assign(String()), nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(row.text, row.made.data);
        EXPECT_EQ(row.text ? (int32_t)std::strlen(row.text) : 0, row.made.length());
    }
    Array<double> a;  // grows by the rule, pushes its own elements while growing, resizes zeroed
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 503; ++i) {
        int32_t before = a.capacity;
        ASSERT_EQ(i, a.push(i == 33 ? a[32] : i + 0.5));  // an element of its own storage, while it grows
        if (a.capacity != before) capacities.push_back(a.capacity);
    }
    EXPECT_EQ((std::vector<int32_t>{33, 78, 140, 225, 342, 503}), capacities);
    EXPECT_EQ(32.5, a[33]);
    for (int i = 0; i < 503; ++i) a[i] = -1;
    a.resize(2), a.resize(600);  // the records added back do not show the old values
    EXPECT_EQ(-1, a[1]);
    for (int i = 2; i < 600; ++i) ASSERT_EQ(0, a[i]) << i;
    // Sizes past what the allocator takes fail the try forms and leave everything as it was; release empties.
    a.resize(3), a[2] = 7;
    EXPECT_FALSE(a.tryResize(INT32_MAX));  // 16 GiB in 32-bit sizes
    EXPECT_TRUE(a.count == 3 && a.capacity == 3 && a[2] == 7 && a.tryPush(8) == 3);
    a.release();
    EXPECT_TRUE(a.items == nullptr && a.count == 0 && a.capacity == 0 && a.push(1) == 0);  // and it grows again
}

TEST(Allocator, OnlyAllocIsCountedAndTheCountSaturates) {
    resetLog();
    HeapAllocator heap;
    heap.free(heap.alloc(100));
    EXPECT_EQ(nullptr, heap.realloc(heap.realloc(heap.realloc(nullptr, 64), 4096), 0));  // size 0 releases
    EXPECT_EQ(100, heap.allocatedBytes);
    heap.count(INT32_MAX - 110);
    heap.free(heap.alloc(64));
    heap.report();
    EXPECT_EQ("allocated: 2147483647 bytes\n", logText());
}
