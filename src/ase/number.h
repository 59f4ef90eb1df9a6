#pragma once
#include <cstdint>
#include <cstring>

// What atoi gives, except that values past the 32-bit range saturate.
int32_t parseInt(const char* text);

// What atof gives, rounded to float.
float parseFloat(const char* text);

// The standard library's conversion, for the forms parseFloat's fast path
// leaves to it.
float parseFloatSlow(const char* text);

// a - b, saturating at the 32-bit limits.
int32_t saturatingSubtract(int32_t a, int32_t b);

inline bool isDigit(unsigned char c) { return (unsigned)(c - '0') < 10u; }

// A plain decimal integer "-?D+" of at most 10 digits at p: its value,
// saturated, and the byte after it; null for any other form. Reads at most 12
// bytes from p.
inline const unsigned char* scanPlainInt(const unsigned char* p, int32_t* value) {
    bool negative = *p == '-';
    p += negative;
    int64_t magnitude = 0;
    int digits = 0;
    while ((unsigned)(*p - '0') < 10u) {
        if (++digits > 10) return nullptr;
        magnitude = magnitude * 10 + (*p++ - '0');
    }
    if (digits == 0) return nullptr;
    if (negative) magnitude = -magnitude;
    *value = magnitude > INT32_MAX ? INT32_MAX : magnitude < INT32_MIN ? INT32_MIN : (int32_t)magnitude;
    return p;
}

// Whether all four bytes of x are decimal digits. High bytes are caught by
// their top bit; for the others neither the add nor the subtract carries into
// the next byte.
inline bool fourDigits(uint32_t x) {
    return ((x | (x + 0x46464646u) | ~((x | 0x80808080u) - 0x30303030u)) & 0x80808080u) == 0;
}

// The value of four digit bytes, the first at the lowest address.
inline uint32_t fourDigitsValue(uint32_t x) {
    x -= 0x30303030u;
    x = x * 10 + (x >> 8);  // bytes 0 and 2: the first and the last two digits
    return (uint32_t)((((uint64_t)(x & 0x00FF00FFu)) * (1 + (100ull << 16))) >> 16) & 0xFFFFu;
}

// A plain decimal "-?D*(.D*)?" at p with 1 to 19 digits whose digits as an
// integer do not pass 2^53: the mantissa and the power of ten are exact
// doubles, so one correctly rounded division gives the correctly rounded
// value that the standard conversion gives, then rounded to float. Returns
// the byte after it; null for any other form. Reads at most 22 bytes from p,
// and in a C string none past its end; with wide, up to 26 bytes whatever
// they hold, for the input, where enough lie ahead.
template <bool wide>
inline const unsigned char* scanPlainFloatAt(const unsigned char* p, float* value) {
    static const double kPowers[20] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                       1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                       1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    bool negative = *p == '-';
    p += negative;
    if (wide) {
        // Normals and texture coordinates: one digit, the point, four decimals.
        uint64_t x;
        std::memcpy(&x, p, 8);
        if (((x >> 8) & 0xFF) == '.' && isDigit((unsigned char)x) && fourDigits((uint32_t)(x >> 16)) &&
            !isDigit((unsigned char)(x >> 48))) {
            const uint64_t mantissa = ((x & 0xFF) - '0') * 10000 + fourDigitsValue((uint32_t)(x >> 16));
            const double result = (double)mantissa / 1e4;
            *value = (float)(negative ? -result : result);
            return p + 6;
        }
    }
    uint64_t mantissa = 0;
    int digits = 0;
    while ((unsigned)(*p - '0') < 10u) {
        if (++digits > 19) return nullptr;
        mantissa = mantissa * 10 + (*p++ - '0');
    }
    int fraction = 0;
    if (*p == '.') {
        ++p;
        // Exporters write four decimals: taken at once, the same digits
        // with fewer steps and a fixed length to run ahead on.
        bool four;
        uint32_t bytes = 0;
        if (wide) {
            std::memcpy(&bytes, p, 4);
            four = digits <= 15 && fourDigits(bytes) && !isDigit(p[4]);
        } else {
            four = digits <= 15 && isDigit(p[0]) && isDigit(p[1]) && isDigit(p[2]) && isDigit(p[3]) &&
                   !isDigit(p[4]);
        }
        if (four) {
            const uint32_t value = wide ? fourDigitsValue(bytes)
                                        : (uint32_t)((p[0] - '0') * 1000 + (p[1] - '0') * 100 +
                                                     (p[2] - '0') * 10 + (p[3] - '0'));
            mantissa = mantissa * 10000 + value;
            digits += 4;
            fraction = 4;
            p += 4;
        }
        while ((unsigned)(*p - '0') < 10u) {
            if (++digits > 19) return nullptr;
            mantissa = mantissa * 10 + (*p++ - '0');
            ++fraction;
        }
    }
    if (digits == 0 || mantissa > (uint64_t(1) << 53)) return nullptr;
    double result = (double)mantissa / kPowers[fraction];
    *value = (float)(negative ? -result : result);
    return p;
}

inline const unsigned char* scanPlainFloat(const unsigned char* p, float* value) {
    return scanPlainFloatAt<false>(p, value);
}

// scanPlainFloat for the input: at least 32 bytes must be readable from p.
inline const unsigned char* scanInputFloat(const unsigned char* p, float* value) {
    return scanPlainFloatAt<true>(p, value);
}

// What atoi does, with saturation, for the forms scanPlainInt leaves.
int32_t parseIntSlow(const char* text);

inline int32_t parseInt(const char* text) {
    int32_t value;
    const unsigned char* stop = scanPlainInt((const unsigned char*)text, &value);
    return stop && *stop == '\0' ? value : parseIntSlow(text);
}

inline float parseFloat(const char* text) {
    float value;
    const unsigned char* stop = scanPlainFloat((const unsigned char*)text, &value);
    return stop && *stop == '\0' ? value : parseFloatSlow(text);
}
