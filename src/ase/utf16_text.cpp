#include "ase/utf16_text.h"

#include "ase/read_context.h"
#include "ase/tokenizer.h"

Utf16Decoding decodeUtf16(const unsigned char* bytes, int32_t n, unsigned char* text) {
    const int high = bytes[0] == 0xFE ? 0 : 1;  // FE FF: the high byte first
    const unsigned char* units = bytes + 2;
    const int32_t count = utf16TextCapacity(n);
    Utf16Decoding result;
    result.decoded = true;
    result.oddByte = (n & 1) != 0;
    int32_t out = 0;
    for (int32_t i = 0; i < count; ++i) {
        const unsigned unit = (unsigned)units[2 * i + high] << 8 | units[2 * i + 1 - high];
        if (unit <= 0xFF) {
            text[out++] = (unsigned char)unit;
            continue;
        }
        // A high surrogate and the low one after it are one character.
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count) {
            const unsigned next = (unsigned)units[2 * i + 2 + high] << 8 | units[2 * i + 3 - high];
            if (next >= 0xDC00 && next < 0xE000) ++i;
        }
        if (result.replaced++ == 0) result.firstReplaced = out;
        text[out++] = '?';
    }
    result.size = out;
    return result;
}

void warnOfUtf16Losses(ReadContext& context, const Tokenizer& tokenizer) {
    const Utf16Decoding* decoding = tokenizer.utf16Decoding();
    if (!decoding) return;
    const int32_t replaced = decoding->replaced;
    if (replaced)
        context.warn("UTF-16 text: %d character%s outside Latin-1 read as '?', the first on line %d", replaced,
                     replaced == 1 ? "" : "s", tokenizer.lineAt(decoding->firstReplaced));
    if (decoding->oddByte) context.warn("UTF-16 text: the last byte is half a character; it was left out");
}
