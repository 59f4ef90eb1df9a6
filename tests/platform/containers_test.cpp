#include <gtest/gtest.h>

#include "platform/array.h"
#include "platform/string.h"
#include "support/run_program.h"
#include "support/test_support.h"

#include <string>
#include <vector>

namespace {

// Text and length of a String; capacity must always equal length.
void expectString(const char* text, int32_t length, const String& s) {
    EXPECT_EQ(length, s.length);
    EXPECT_EQ(s.length, s.capacity);
    if (!text) {
        EXPECT_EQ(nullptr, s.data);
    } else {
        ASSERT_NE(nullptr, s.data);
        EXPECT_STREQ(text, s.data);
    }
}

class Containers : public ::testing::Test {
protected:
    void SetUp() override { ensureServices(); }
};

TEST_F(Containers, StringBuilding) {
    expectString(nullptr, 0, String(nullptr));
    expectString("", 1, String(""));
    String s;
    s.append(nullptr);
    s.append("");
    expectString(nullptr, 0, s);
    s.append("x");
    expectString("x", 2, s);
    s.append("yz");
    expectString("xyz", 4, s);

    String name("abcd");
    expectString("abcd.qrv", 9, name.concat(".qrv"));
    expectString("abcd", 5, name);
    expectString(".qrv", 5, String().concat(".qrv"));
}

TEST_F(Containers, StringAssign) {
    String s("hello");
    char* before = s.data;
    s.assign(s);
    EXPECT_EQ(before, s.data);
    expectString("hello", 6, s);
    s.assign(String("x"));
    expectString("x", 2, s);
    s.assign(String("hey"));
    expectString("hey", 4, s);
    s.assign(String());
    expectString(nullptr, 0, s);
    s.assign(String(""));
    expectString("", 1, s);
}

TEST_F(Containers, StringSubstring) {
    String s("abcdef");
    expectString("cde", 4, s.substring(3, 2));
    EXPECT_STREQ("ef", s.substring(10, 4).data);  // clamped at the end
    expectString("", 1, s.substring(0, 3));
    expectString("abcdef", 7, s.substring(6, 0));
}

TEST_F(Containers, StringWithoutExtension) {
    expectString("wood", 5, String("wood.ase").withoutExtension());
    expectString("a.tar", 6, String("a.tar.gz").withoutExtension());
    expectString("C:\\maps\\wood", 13, String("C:\\maps\\wood.tga").withoutExtension());
    expectString("noext", 6, String("noext").withoutExtension());
    expectString("dir.v2/file", 12, String("dir.v2/file").withoutExtension());
    expectString("dir.v2\\file", 12, String("dir.v2\\file").withoutExtension());
    expectString("", 1, String(".ase").withoutExtension());
    expectString(nullptr, 0, String().withoutExtension());
}

TEST_F(Containers, StringFileName) {
    expectString("wood.tga", 9, String("C:\\maps\\wood.tga").fileName());
    expectString("c.tga", 6, String("a/b/c.tga").fileName());
    expectString("", 1, String("maps\\").fileName());
    expectString("b/c.tga", 8, String("a\\b/c.tga").fileName());  // '\' wins over a later '/'
    expectString("plain", 6, String("plain").fileName());
    expectString("", 1, String("").fileName());
    expectString(nullptr, 0, String().fileName());
}

TEST_F(Containers, ArrayPushFollowsTheGrowthRule) {
    Array<int32_t> a;
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 503; ++i) {
        int32_t before = a.capacity;
        ASSERT_EQ(i, a.push(i * 7));
        if (a.capacity != before) capacities.push_back(a.capacity);
    }
    EXPECT_EQ((std::vector<int32_t>{33, 78, 140, 225, 342, 503}), capacities);
    EXPECT_EQ(503, a.count);
    for (int32_t i = 0; i < 503; ++i) ASSERT_EQ(i * 7, a[i]);
}

TEST_F(Containers, ArrayPushOfItsOwnElementWhileGrowing) {
    Array<double> a;
    for (int i = 0; i < 33; ++i) a.push(i + 0.5);
    ASSERT_EQ(a.count, a.capacity);
    a.push(a[32]);  // the source moves with the storage
    EXPECT_EQ(32.5, a[33]);
}

TEST_F(Containers, ArrayResize) {
    Array<uint32_t> a;
    a.resize(1000);
    EXPECT_EQ(1000, a.count);
    EXPECT_EQ(1000, a.capacity);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(0u, a[i]);

    for (int i = 0; i < 1000; ++i) a[i] = 0xFFFFFFFFu;
    a.resize(2);
    a.resize(40);  // the records added back must not show the old values
    EXPECT_EQ(40, a.count);
    EXPECT_EQ(0xFFFFFFFFu, a[1]);
    for (int i = 2; i < 40; ++i) ASSERT_EQ(0u, a[i]) << i;

    uint32_t* items = a.items;
    a.resize(40);
    EXPECT_EQ(items, a.items);
    EXPECT_EQ(40, a.capacity);

    a.resize(0);
    EXPECT_EQ(nullptr, a.items);
    EXPECT_EQ(0, a.count);
    EXPECT_EQ(0, a.capacity);
}

TEST_F(Containers, ArrayFullToTheLastIndexStopsTheRun) {
    // The state after 2^31 - 1 one-byte pushes, without spending the memory.
    Array<char> a;
    a.items = (char*)gAllocator->realloc(nullptr, 16);
    a.count = a.capacity = INT32_MAX;
    EXPECT_EXIT(a.push('x'), ::testing::ExitedWithCode(kExitMinusOne), "");
    EXPECT_EXIT(a.pushCleared(), ::testing::ExitedWithCode(kExitMinusOne), "");
}

TEST_F(Containers, ArrayCopyIsDeepAndExact) {
    Array<int32_t> a;
    for (int i = 0; i < 5; ++i) a.push(i);
    Array<int32_t> b(a);
    EXPECT_EQ(5, b.capacity);
    b[0] = 99;
    EXPECT_EQ(0, a[0]);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(i, b[i]);
    Array<int32_t> empty;
    EXPECT_EQ(nullptr, Array<int32_t>(empty).items);
}

}  // namespace
