#pragma once
#include <cstdint>

struct ReadContext;
class Tokenizer;

// Text saved as UTF-16 with a byte-order mark, read as the 8-bit text the
// reader knows: each code unit up to 0xFF becomes that byte, every other
// character becomes '?'. Line breaks, zero units and all else stay where
// they were, so lines and tokens come out as in the 8-bit form of the file.
struct Utf16Decoding {
    bool decoded = false;        // the input was UTF-16 and this is what it lost
    int32_t size = 0;            // bytes of text written
    int32_t replaced = 0;        // characters written as '?'; a surrogate pair is one
    int32_t firstReplaced = -1;  // offset of the first of them in the text
    bool oddByte = false;        // a last byte that completes no unit, left out
};

// Whether the n bytes start with a UTF-16 byte-order mark, either order.
inline bool startsWithUtf16Mark(const unsigned char* bytes, int32_t n) {
    return n >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
}

// The text can never be longer than this.
inline int32_t utf16TextCapacity(int32_t n) { return (n - 2) / 2; }

// Decodes the n bytes of a text that startsWithUtf16Mark, the mark left out,
// into text (utf16TextCapacity bytes). text may be bytes itself: each byte is
// written after the units it comes from were read.
Utf16Decoding decodeUtf16(const unsigned char* bytes, int32_t n, unsigned char* text);

// Tells the user what the decoding of the tokenizer's input lost, if anything.
void warnOfUtf16Losses(ReadContext& context, const Tokenizer& tokenizer);
