// Number tokens convert exactly as atoi and atof do (atof's double rounded to
// float), except that integers saturate at the 32-bit limits.
#include "ase/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

TEST(Number, Integers) {
    struct {
        const char* token;
        int32_t expected;
    } inRange[] = {{"0", 0},       {"42", 42},        {"-7", -7},      {"+13", 13},   {"-0", 0},
                   {"007", 7},     {"  12", 12},      {"\t\n\v\f\r8", 8}, {" +5", 5}, {"12abc", 12},
                   {"3.9", 3},     {"-3.9", -3},      {"1e3", 1},      {"0x1A", 0},   {"abc", 0},
                   {"", 0},        {"-", 0},          {"+-5", 0},      {"- 5", 0},    {"\xc2\xa0" "5", 0},
                   {"00000000000000000000042", 42},   {"2147483647", INT32_MAX},      {"-2147483648", INT32_MIN}};
    for (const auto& c : inRange) {
        EXPECT_EQ(c.expected, parseInt(c.token)) << '"' << c.token << '"';
        EXPECT_EQ(std::atoi(c.token), parseInt(c.token)) << '"' << c.token << '"';
    }
    // Past the limits atoi has no defined result; ours saturates.
    const char* high[] = {"2147483648", "4294967295", "4294967296", "4294967299", "99999999999999999999999"};
    for (const char* token : high) EXPECT_EQ(INT32_MAX, parseInt(token)) << token;
    const char* low[] = {"-2147483649", "-4294967297", "-99999999999999999999999"};
    for (const char* token : low) EXPECT_EQ(INT32_MIN, parseInt(token)) << token;
}

TEST(Number, Reals) {
    const float inf = std::numeric_limits<float>::infinity();
    struct {
        const char* token;
        float expected;
    } cases[] = {
        {"0.25", 0.25f}, {"-1.5", -1.5f}, {"0.1", 0.1f},    {"1e3", 1000.0f}, {".5", 0.5f},       {"5.", 5.0f},
        {"  2.5", 2.5f}, {"1.5abc", 1.5f}, {"abc", 0.0f},   {"", 0.0f},       {"-", 0.0f},        {"0x1p3", 8.0f},
        {"0.707107", 0.707107f},          {"-128.000000", -128.0f},           {"1e-50", 0.0f},    {"1e39", inf},
        {"-1e39", -inf}, {"inf", inf},     {"-Infinity", -inf},
        {"1.4e-45", std::numeric_limits<float>::denorm_min()},
        // Halfway between 1 and the next float once rounded to double, so it
        // goes to even; rounded straight to float it would go up.
        {"1.0000000596046447753906250001", 1.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, parseFloat(c.token)) << '"' << c.token << '"';
        // atof is strtod; MinGW's atof is still the old runtime's, without hex
        // floats and infinities, while its strtod is the C99 one.
        EXPECT_EQ((float)std::strtod(c.token, nullptr), parseFloat(c.token)) << '"' << c.token << '"';
    }
    EXPECT_TRUE(std::signbit(parseFloat("-0")));
    EXPECT_TRUE(std::signbit(parseFloat("-1e-50")));
    EXPECT_TRUE(std::isnan(parseFloat("nan")));
    EXPECT_TRUE(std::isnan(parseFloat("-NAN")));
}

}  // namespace
