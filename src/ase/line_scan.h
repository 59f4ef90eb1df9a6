#pragma once
#include "ase/face_indices.h"
#include "ase/number.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Whole lines of the mesh lists read at once, from the tokenizer's cursor.
// Each reader here takes a line only when its bytes are the common plain form,
// reading it as the token-by-token reads would and leaving the tokenizer as
// they would; for anything else it reads nothing and returns 0, and those
// reads decide, errors and all. Scans stay within the cursor's reach, 32 bytes
// of it to spare, so a longer line is left to the tokens too.

namespace line_scan {

inline bool isBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// Blanks from p on; null at the limit.
inline const unsigned char* skipBlanks(const unsigned char* p, const unsigned char* limit) {
    while (p < limit && isBlank(*p)) ++p;
    return p < limit ? p : nullptr;
}

// Blanks and line feeds from p on, then keyword as a word of its own, ended
// by a blank: the byte after it; null otherwise.
template <size_t N>
const unsigned char* skipToKeyword(const unsigned char* p, const unsigned char* limit, const char (&keyword)[N]) {
    while (p < limit && (isBlank(*p) || *p == '\n')) ++p;
    if (p >= limit || std::memcmp(p, keyword, N - 1) != 0 || !isBlank(p[N - 1])) return nullptr;
    return p + N - 1;
}

}  // namespace line_scan

// A list entry on one line: keyword, the entry number, then count plain
// numbers (at most 3), the words apart by blanks only and the last ended by a
// blank or a line feed. The number must be expected, or anything when
// expected is negative.
template <typename T, const unsigned char* (*scan)(const unsigned char*, T*), size_t N>
int readEntryLine(Tokenizer& tokenizer, const char (&keyword)[N], int32_t expected, int32_t* number,
                  T* values, int count) {
    using namespace line_scan;
    const unsigned char* p = tokenizer.cursor();
    if (!p) return 0;
    const unsigned char* limit = p + Tokenizer::kLineReach - 32;
    p = skipToKeyword(p, limit, keyword);
    if (!p) return 0;
    int32_t n;
    p = skipBlanks(p + 1, limit);
    p = p ? scanPlainInt(p, &n) : nullptr;
    if (!p || !isBlank(*p) || (expected >= 0 && n != expected)) return 0;
    T read[3];
    const unsigned char* last = nullptr;
    for (int k = 0; k < count; ++k) {
        last = skipBlanks(p + 1, limit);
        p = last ? scan(last, &read[k]) : nullptr;
        if (!p || !(isBlank(*p) || (k + 1 == count && *p == '\n'))) return 0;
    }
    *number = n;
    for (int k = 0; k < count; ++k) values[k] = read[k];
    return tokenizer.takeWord(last, p);
}

// A whole entry line of three numbers, when the tokenizer can take it at once.
// A template, instantiated in each reader, so that it inlines into its loop.
template <size_t N>
int scanVec3Line(Tokenizer& tokenizer, const char (&keyword)[N], int32_t expected, int32_t* number, Vec3* value) {
    float xyz[3];
    if (!readEntryLine<float, scanInputFloat>(tokenizer, keyword, expected, number, xyz, 3)) return 0;
    *value = Vec3{xyz[0], xyz[1], xyz[2]};
    return 1;
}

// "*MESH_FACE i:" and the rest of its line, up to and with "*MESH_MTLID m":
// corners "A: a", "B: b", "C: c" set those fields of face, other words and
// colons are passed over, as the face list's reads do. i must be below count.
int readFaceLine(Tokenizer& tokenizer, int32_t i, FaceIndices& face);
