#include "ase/line_scan.h"

#include "platform/bits.h"
#include "platform/simd.h"

#if TARVOLT_SSE2
#include <emmintrin.h>
#endif

using namespace line_scan;

namespace {

// Bytes of a 64-byte run by what the face line's middle asks of them; bit i
// stands for at[i].
struct MiddleBytes {
    uint64_t blanks;   // ' ' and '\t'
    uint64_t colons;   // ':'
    uint64_t stars;    // '*'
    uint64_t letters;  // 'A', 'B' and 'C'
    uint64_t others;   // the other bytes that are not ordinary in a word
};

// The bytes other than blanks and colons that the tokenizer does not take as
// part of a word with the delimiters "{}:".
bool isOther(unsigned char c) {
    return c == 0 || c == '\n' || c == '\r' || c == '"' || c == '\'' || c == '/' || c == '{' || c == '}';
}

MiddleBytes middleBytes(const unsigned char* at) {
    MiddleBytes m = {0, 0, 0, 0, 0};
#if TARVOLT_SSE2
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128((const __m128i*)(at + 16 * part));
        auto is = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
        auto bits = [&](__m128i hits) { return (uint64_t)(unsigned)_mm_movemask_epi8(hits) << (16 * part); };
        m.blanks |= bits(_mm_or_si128(is(' '), is('\t')));
        m.colons |= bits(is(':'));
        m.stars |= bits(is('*'));
        m.letters |= bits(_mm_or_si128(_mm_or_si128(is('A'), is('B')), is('C')));
        const __m128i breaks = _mm_or_si128(_mm_or_si128(is(0), is('\n')), is('\r'));
        const __m128i quotes = _mm_or_si128(_mm_or_si128(is('"'), is('\'')), is('/'));
        m.others |= bits(_mm_or_si128(_mm_or_si128(breaks, quotes), _mm_or_si128(is('{'), is('}'))));
    }
#else
    for (int i = 0; i < 64; ++i) {
        const unsigned char c = at[i];
        m.blanks |= (uint64_t)isBlank(c) << i;
        m.colons |= (uint64_t)(c == ':') << i;
        m.stars |= (uint64_t)(c == '*') << i;
        m.letters |= (uint64_t)(c == 'A' || c == 'B' || c == 'C') << i;
        m.others |= (uint64_t)isOther(c) << i;
    }
#endif
    return m;
}

// "X:" and a plain vertex number after blanks, ended by a blank: a corner.
const unsigned char* readCorner(const unsigned char* p, const unsigned char* limit, unsigned char name,
                                int32_t* vertex) {
    p = skipBlanks(p, limit);
    if (!p || p[0] != name || p[1] != ':') return nullptr;
    p = skipBlanks(p + 2, limit);
    p = p ? scanPlainInt(p, vertex) : nullptr;
    return p && isBlank(*p) ? p : nullptr;
}

}  // namespace

int readFaceLine(Tokenizer& tokenizer, int32_t i, FaceIndices& face) {
    const unsigned char* const line = tokenizer.cursor();
    if (!line) return 0;
    const unsigned char* limit = line + Tokenizer::kLineReach - 32;
    const unsigned char* p = skipToKeyword(line, limit, "*MESH_FACE");
    int32_t n;
    p = p ? skipBlanks(p + 1, limit) : nullptr;
    p = p ? scanPlainInt(p, &n) : nullptr;
    if (!p || n != i || !(isBlank(*p) || *p == ':')) return 0;
    p += *p == ':';

    // The corners in their usual order; any other is left to the tokens.
    int32_t a, b, c;
    p = readCorner(p, limit, 'A', &a);
    p = p ? readCorner(p, limit, 'B', &b) : nullptr;
    p = p ? readCorner(p, limit, 'C', &c) : nullptr;
    if (!p) return 0;

    // Up to "*MESH_MTLID" the face list's reads pass over words and colons,
    // unless a word is a lone A, B or C: then only plain bytes may come, and
    // no such word. Taken when it all lies in the 64 bytes from p (p stands
    // on the blank after C's vertex); otherwise the tokens read the line.
    if (p + 64 > line + Tokenizer::kLineReach) return 0;
    const MiddleBytes m = middleBytes(p);
    const uint64_t gaps = m.blanks | m.colons;
    // Plain bytes end at the first other byte, if any.
    const int stop = m.others ? firstSetBit(m.others) : 64;
    // The id: a star at a word's start, its word "*MESH_MTLID".
    const unsigned char* id = nullptr;
    for (uint64_t stars = m.stars & (gaps << 1); stars; stars &= stars - 1) {
        const int at = firstSetBit(stars);
        if (at >= stop || p + at >= limit) return 0;
        const unsigned char after = p[at + 11];
        if (std::memcmp(p + at, "*MESH_MTLID", 11) != 0 || !(isBlank(after) || after == ':' || isOther(after)))
            continue;
        // The id follows after blanks; after a colon, the colon is taken for it.
        if (!isBlank(after)) return 0;
        id = p + at;
        break;
    }
    if (!id) return 0;
    const uint64_t before = (uint64_t(1) << (id - p)) - 1;
    if (m.letters & (gaps << 1) & (gaps >> 1) & before) return 0;  // a lone A, B or C
    const unsigned char* start = skipBlanks(id + 12, limit);
    int32_t materialId;
    p = start ? scanPlainInt(start, &materialId) : nullptr;
    if (!p || !(isBlank(*p) || *p == '\n')) return 0;
    face.a = a, face.b = b, face.c = c, face.materialId = materialId;
    return tokenizer.takeWord(start, p);
}
