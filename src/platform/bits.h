#pragma once
#include <cstdint>

// Index of the lowest set bit of a non-zero mask.
inline int firstSetBit(uint64_t mask) { return __builtin_ctzll(mask); }
