#include "ase/number.h"

#include <cstdlib>

int32_t parseIntSlow(const char* text) {
    const unsigned char* p = (const unsigned char*)text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    while ((unsigned)(*p - '0') < 10u) {
        value = value * 10 + (*p++ - '0');
        // Past the 32-bit range the value only needs to stay past it.
        if (value > (int64_t)INT32_MAX + 1) value = (int64_t)INT32_MAX + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

float parseFloatSlow(const char* text) { return (float)std::strtod(text, nullptr); }

int32_t saturatingSubtract(int32_t a, int32_t b) {
    int64_t result = (int64_t)a - b;
    if (result > INT32_MAX) return INT32_MAX;
    if (result < INT32_MIN) return INT32_MIN;
    return (int32_t)result;
}
