#include "platform/array.h"
#include "platform/string.h"
#include "support/test_support.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

TEST(Containers, StringExamplesAndArrays) {
    ensureServices();
    auto expectString = [](const char* text, const String& s) {  // null: the empty String, no storage
        EXPECT_STREQ(text, s.data);
        EXPECT_EQ(text ? (int32_t)std::strlen(text) : 0, s.length());
        EXPECT_TRUE(!s.data || s.data[s.length()] == '\0');
    };
    String s;
    for (const char* part : {(const char*)nullptr, "", "x", "yz"}) s.append(part);
    expectString("xyz.qrv", s.concat(".qrv"));
    expectString("a.tar", String("a.tar.gz").withoutExtension());
    expectString("dir.v2\\file", String("dir.v2\\file").withoutExtension());
    expectString(nullptr, String().withoutExtension());
    expectString("b/c.tga", String("a\\b/c.tga").fileName());  // '\' wins over a later '/'
    expectString("", String("maps/").fileName());
    expectString("xyz", s.assign(s));
    expectString(nullptr, s.assign(String()));
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
    a.resize(2);
    a.resize(600);  // the records added back do not show the old values
    EXPECT_EQ(-1, a[1]);
    for (int i = 2; i < 600; ++i) ASSERT_EQ(0, a[i]) << i;
}

// Sizes past what the allocator takes fail the try forms and leave everything as it was; release empties an array.
TEST(Containers, FailedGrowthLeavesTheContainerAndReleaseEmptiesIt) {
    ensureServices();
    Array<double> a;
    a.resize(3);
    a[2] = 7;
    EXPECT_FALSE(a.tryResize(INT32_MAX));  // 16 GiB in 32-bit sizes
    EXPECT_TRUE(a.count == 3 && a.capacity == 3 && a[2] == 7);
    EXPECT_EQ(3, a.tryPush(8));
    a.release();
    EXPECT_TRUE(a.items == nullptr && a.count == 0 && a.capacity == 0);
    EXPECT_EQ(0, a.push(1));  // and it grows again from nothing
    String s("abc");
    EXPECT_TRUE(s.tryAssign("defg"));
    EXPECT_STREQ("defg", s.data);
    EXPECT_EQ(4, s.length());
    EXPECT_TRUE(s.tryAssign(String()) && s.data == nullptr && s.length() == 0);
}
