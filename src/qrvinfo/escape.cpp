#include "qrvinfo/escape.h"

static bool put(Array<char>& out, const char* text, int n) {
    for (int i = 0; i < n; ++i)
        if (out.tryPush(text[i]) < 0) return false;
    return true;
}

bool appendTextName(Array<char>& out, const unsigned char* bytes, uint32_t n, uint32_t maxBytes) {
    static const char digits[] = "0123456789ABCDEF";
    if (!put(out, "\"", 1)) return false;
    for (uint32_t i = 0; i < n && i < maxBytes; ++i) {
        const unsigned char c = bytes[i];
        const char quoted[2] = {'\\', (char)c};
        const char hex[4] = {'\\', 'x', digits[c >> 4], digits[c & 15]};
        const bool added = c == '"' || c == '\\'    ? put(out, quoted, 2)
                           : c >= 0x20 && c < 0x7F ? put(out, quoted + 1, 1)
                                                   : put(out, hex, 4);
        if (!added) return false;
    }
    return (n <= maxBytes || put(out, "...", 3)) && put(out, "\"", 1);
}

// Well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
static bool validUtf8(const unsigned char* s, size_t n) {
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                              : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || n - i < length) return false;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            code = code << 6 | (s[i + k] & 0x3F);
        }
        static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

void putJsonString(FILE* out, const unsigned char* bytes, size_t n, bool inScript, bool utf8) {
    const bool asText = utf8 && validUtf8(bytes, n);
    std::fputc('"', out);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        const bool quoting = c == '"' || c == '\\';
        const bool markup = c == '<' || c == '>' || c == '&';
        if (c < 0x20 || c == 0x7F || (c > 0x7F && !asText) || (inScript && (quoting || markup)))
            std::fprintf(out, "\\u%04x", c);
        else if (quoting)
            std::fprintf(out, "\\%c", c);
        else
            std::fputc(c, out);
    }
    std::fputc('"', out);
}

void putJsonName(FILE* out, const Pack& pack, const NameRef& name, bool inScript) {
    if (name.length == 0)
        std::fputs("null", out);
    else
        putJsonString(out, pack.bytes + name.offset, name.length - 1, inScript);
}

void putHtmlText(FILE* out, const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '<')
            std::fputs("&lt;", out);
        else if (c == '>')
            std::fputs("&gt;", out);
        else if (c == '&')
            std::fputs("&amp;", out);
        else
            std::fputc(c, out);
    }
}

char objNameByte(unsigned char c, bool word) {
    const bool control = c < 0x20 || c == 0x7F;
    return control || (word && (c == ' ' || c == '#')) ? '_' : (char)c;
}
