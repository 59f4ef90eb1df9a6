#include "ase/line_scan.h"

namespace {

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
    const unsigned char* p = tokenizer.lineAhead();
    if (!p) return 0;
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
    // no such word.
    const unsigned char* id = nullptr;
    bool plain = true, lone = false;
    for (; p < limit; ++p) {
        const unsigned char byte = *p;
        const bool ordinary = tokenizer.isOrdinary(byte);
        plain &= ordinary || tokenizer.isBlank(byte) || isColon(tokenizer, byte);
        lone |= (byte == 'A' || byte == 'B' || byte == 'C') && !tokenizer.isOrdinary(p[-1]) &&
                !tokenizer.isOrdinary(p[1]);
        if (byte == '*' && !tokenizer.isOrdinary(p[-1]) && std::memcmp(p, "*MESH_MTLID", 11) == 0 &&
            !tokenizer.isOrdinary(p[11])) {
            // The id follows after blanks; after a colon, the colon is taken for it.
            if (!tokenizer.isBlank(p[11])) return 0;
            id = p;
            break;
        }
        if (!plain) return 0;
    }
    if (!id || lone) return 0;
    const unsigned char* start = skipBlanks(tokenizer, id + 12, limit);
    int32_t materialId;
    p = start ? scanPlainInt(start, &materialId) : nullptr;
    if (!p || !(tokenizer.isBlank(*p) || tokenizer.isLineFeed(*p))) return 0;
    face.a = a, face.b = b, face.c = c, face.materialId = materialId;
    return tokenizer.takeWord(start, p);
}
