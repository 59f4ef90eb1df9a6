#include "ase/byte_mask.h"

#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define TARVOLT_NIBBLE_SHUFFLE 1
#include <immintrin.h>
#endif

// A byte is reported when its low nibble's entry and its high nibble's entry
// share a bit. Each high nibble owns bit (nibble & 7), so a marked byte is
// always reported and an unmarked one only when it shares its low nibble
// with a marked byte whose high nibble differs from its own by 8.
void ByteMask::build(const unsigned char special[256]) {
    std::memset(lowNibble, 0, sizeof lowNibble);
    for (int high = 0; high < 16; ++high) highNibble[high] = (unsigned char)(1u << (high & 7));
    for (int b = 0; b < 256; ++b) {
        scalar[b] = special[b] ? 1 : 0;
        if (special[b]) lowNibble[b & 15] |= (unsigned char)(1u << ((b >> 4) & 7));
    }
}

#if TARVOLT_NIBBLE_SHUFFLE
__attribute__((target("ssse3"))) static uint64_t shuffleBlock(const unsigned char* p,
                                                               const unsigned char* lowTable,
                                                               const unsigned char* highTable) {
    const __m128i low = _mm_load_si128((const __m128i*)lowTable);
    const __m128i high = _mm_load_si128((const __m128i*)highTable);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        __m128i bytes = _mm_loadu_si128((const __m128i*)(p + 16 * part));
        __m128i lo = _mm_and_si128(bytes, nibble);
        __m128i hi = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
        __m128i hits = _mm_and_si128(_mm_shuffle_epi8(low, lo), _mm_shuffle_epi8(high, hi));
        unsigned quiet = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(hits, zero));
        mask |= (uint64_t)(~quiet & 0xFFFFu) << (16 * part);
    }
    return mask;
}

static bool hasShuffle() {
    static const bool supported = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
    return supported;
}
#endif

uint64_t ByteMask::block(const unsigned char* p) const {
#if TARVOLT_NIBBLE_SHUFFLE
    if (hasShuffle()) return shuffleBlock(p, lowNibble, highNibble);
#endif
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) mask |= (uint64_t)scalar[p[i]] << i;
    return mask;
}
