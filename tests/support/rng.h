#pragma once
#include <cstddef>
#include <cstdint>
struct Rng {  // splitmix64, seeded, so that randomised tests repeat exactly
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return (uint32_t)(next() % n); }
    char pick(const char* set, size_t n) { return set[below((uint32_t)n)]; }
};
