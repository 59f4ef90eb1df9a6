#pragma once
// The number conversions as the standard library gives them: atof's double
// rounded to float, and atoi's accepted form with the value clamped to 32 bits.
#include <cstdint>
#include <cstdlib>
#include <cstring>

inline float referenceFloat(const char* text) { return (float)std::strtod(text, nullptr); }

inline int32_t referenceInt(const char* text) {
    // Base 10 takes what atoi takes: leading white space, a sign, digits.
    long long value = std::strtoll(text, nullptr, 10);
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : (int32_t)value;
}

inline uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
