#include "ase/line_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Bytes of a 64-byte run by what the face line's middle asks of them; bit i
// stands for at[i].
struct MiddleBytes {
    uint64_t blanks;   // ' ' and '\t'
    uint64_t colons;   // ':'
    uint64_t stars;    // '*'
    uint64_t letters;  // 'A', 'B' and 'C'
};

MiddleBytes middleBytes(const unsigned char* at) {
    MiddleBytes m = {0, 0, 0, 0};
#if defined(__SSE2__)
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128((const __m128i*)(at + 16 * part));
        auto is = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
        auto bits = [&](__m128i hits) { return (uint64_t)(unsigned)_mm_movemask_epi8(hits) << (16 * part); };
        m.blanks |= bits(_mm_or_si128(is(' '), is('\t')));
        m.colons |= bits(is(':'));
        m.stars |= bits(is('*'));
        m.letters |= bits(_mm_or_si128(_mm_or_si128(is('A'), is('B')), is('C')));
    }
#else
    for (int i = 0; i < 64; ++i) {
        const unsigned char c = at[i];
        m.blanks |= (uint64_t)(c == ' ' || c == '\t') << i;
        m.colons |= (uint64_t)(c == ':') << i;
        m.stars |= (uint64_t)(c == '*') << i;
        m.letters |= (uint64_t)(c == 'A' || c == 'B' || c == 'C') << i;
    }
#endif
    return m;
}

bool isColon(const Tokenizer& tokenizer, unsigned char c) { return c == ':' && tokenizer.isDelimiter(c); }

// "X:" and a plain vertex number after blanks, ended by a blank: a corner.
const unsigned char* readCorner(const Tokenizer& tokenizer, const unsigned char* p, const unsigned char* limit,
                                unsigned char name, int32_t* vertex) {
    p = skipBlanks(tokenizer, p, limit);
    if (!p || p[0] != name || !isColon(tokenizer, p[1])) return nullptr;
    p = skipBlanks(tokenizer, p + 2, limit);
    p = p ? scanPlainInt(p, vertex) : nullptr;
    return p && tokenizer.isBlank(*p) ? p : nullptr;
}

}  // namespace

int readFaceLine(Tokenizer& tokenizer, int32_t i, FaceIndices& face) {
    const unsigned char* const line = tokenizer.lineAhead();
    if (!line) return 0;
    const unsigned char* p = line;
    const unsigned char* limit = p + Tokenizer::kLineReach - 32;
    while (p < limit && (tokenizer.isBlank(*p) || tokenizer.isLineFeed(*p))) ++p;
    if (p >= limit || std::memcmp(p, "*MESH_FACE", 10) != 0 || !tokenizer.isBlank(p[10])) return 0;
    int32_t n;
    p = skipBlanks(tokenizer, p + 11, limit);
    p = p ? scanPlainInt(p, &n) : nullptr;
    if (!p || n != i || !(tokenizer.isBlank(*p) || isColon(tokenizer, *p))) return 0;
    p += isColon(tokenizer, *p);

    // The corners in their usual order; any other is left to the tokens.
    int32_t a, b, c;
    p = readCorner(tokenizer, p, limit, 'A', &a);
    p = p ? readCorner(tokenizer, p, limit, 'B', &b) : nullptr;
    p = p ? readCorner(tokenizer, p, limit, 'C', &c) : nullptr;
    if (!p) return 0;

    // Up to "*MESH_MTLID" the face list's reads pass over words and colons,
    // unless a word is a lone A, B or C: then only plain bytes may come, and
    // no such word. Taken when it all lies in the 64 bytes from p (p stands
    // on the blank after C's vertex); otherwise the tokens read the line.
    if (p + 64 > line + Tokenizer::kLineReach) return 0;
    const MiddleBytes m = middleBytes(p);
    // In a run of plain bytes the unordinary ones are the blanks and colons.
    const uint64_t gaps = m.blanks | (tokenizer.isDelimiter(':') ? m.colons : 0);
    // The first byte that is not plain, if any.
    uint64_t odd = tokenizer.unordinaryBytes(p) & ~gaps;
    while (odd && tokenizer.isOrdinary(p[firstSetBit(odd)])) odd &= odd - 1;
    const int stop = odd ? firstSetBit(odd) : 64;
    // The id: a star at a word's start, its word "*MESH_MTLID".
    const unsigned char* id = nullptr;
    for (uint64_t stars = m.stars & (gaps << 1); stars; stars &= stars - 1) {
        const int at = firstSetBit(stars);
        if (at >= stop || p + at >= limit) return 0;
        if (std::memcmp(p + at, "*MESH_MTLID", 11) != 0 || tokenizer.isOrdinary(p[at + 11])) continue;
        // The id follows after blanks; after a colon, the colon is taken for it.
        if (!tokenizer.isBlank(p[at + 11])) return 0;
        id = p + at;
        break;
    }
    if (!id) return 0;
    const uint64_t before = (uint64_t(1) << (id - p)) - 1;
    if (m.letters & (gaps << 1) & (gaps >> 1) & before) return 0;  // a lone A, B or C
    const unsigned char* start = skipBlanks(tokenizer, id + 12, limit);
    int32_t materialId;
    p = start ? scanPlainInt(start, &materialId) : nullptr;
    if (!p || !(tokenizer.isBlank(*p) || tokenizer.isLineFeed(*p))) return 0;
    face.a = a, face.b = b, face.c = c, face.materialId = materialId;
    return tokenizer.takeWord(start, p);
}
