#include "ase/smoothing_groups.h"

namespace {

// A word of digits and commas ("1", "1,3", "32,"): its groups into mask. 0
// for any other word.
int addGroups(const char* text, uint32_t* mask) {
    uint32_t found = 0;
    int64_t number = -1;  // -1 between numbers
    for (const char* c = text;; ++c) {
        if (*c >= '0' && *c <= '9') {
            number = (number < 0 ? 0 : number) * 10 + (*c - '0');
            if (number > 100) number = 100;  // past any group
        } else if (*c == ',' || *c == '\0') {
            if (number >= 1 && number <= 32) found |= uint32_t(1) << (number - 1);
            number = -1;
            if (*c == '\0') break;
        } else {
            return 0;
        }
    }
    *mask |= found;
    return 1;
}

}  // namespace

int readSmoothingGroups(const Tokenizer& tokenizer, int32_t from, int32_t to, int32_t faceCount,
                        Array<uint32_t>& groups) {
    if (!groups.tryResize(faceCount)) return 0;
    Tokenizer scan;
    scan.openShared(tokenizer, from);
    // As the face list's reads go: outside a face, "*MESH_FACE" and its
    // number start one; inside, "A", "B" and "C" take a colon and a value,
    // and "*MESH_MTLID" with its value ends it.
    int32_t face = -1;  // the face started last
    bool inFace = false;
    bool held = false;  // the current token is yet to be looked at
    while (held || (scan.nextToken() && scan.position() <= to)) {
        held = false;
        if (scan.is("*MESH_SMOOTHING")) {
            uint32_t mask = 0;
            while (scan.nextToken() && scan.position() <= to && addGroups(scan.text(), &mask)) {
            }
            if (face >= 0 && face < faceCount) groups[face] |= mask;
            held = !scan.atEnd() && scan.position() <= to;
        } else if (!inFace) {
            if (scan.is("}")) break;
            if (scan.is("*MESH_FACE") && scan.nextToken()) ++face, inFace = true;
        } else if (scan.is("A") || scan.is("B") || scan.is("C")) {
            scan.nextToken(), scan.nextToken();
        } else if (scan.is("*MESH_MTLID")) {
            scan.nextToken();
            inFace = false;
        }
    }
    scan.close();
    return 1;
}
