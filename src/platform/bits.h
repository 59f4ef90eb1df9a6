#pragma once
#include <cstdint>

// Index of the lowest set bit of a non-zero mask.
inline int firstSetBit(uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctzll(mask);
#else
    int index = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++index;
    }
    return index;
#endif
}
