// The Tokenizer and its numbers: the fast scan against plain references on random input.
#include "ase/number.h"
#include "ase/tokenizer.h"
#include "support/memory_streams.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

#ifdef NDEBUG
const int kScale = 10;
#else
const int kScale = 1;  // sanitizer and debug builds
#endif

uint32_t bitsOf(float value) { uint32_t bits; std::memcpy(&bits, &value, sizeof bits); return bits; }
uint32_t referenceFloat(const std::string& text) { return bitsOf((float)std::strtod(text.c_str(), nullptr)); }
int32_t referenceInt(const std::string& text) {  // atoi's accepted form, the value clamped to 32 bits
    return (int32_t)std::clamp<long long>(std::strtoll(text.c_str(), nullptr, 10), INT32_MIN, INT32_MAX);
}

// The tokens of in, one byte at a time: words (their first 256 bytes, to a zero byte) and delimiters (set's first 32).
std::vector<std::pair<int, std::string>> referenceTokens(const std::string& in, const std::string& set) {
    std::vector<std::pair<int, std::string>> out;
    std::string word;
    bool comment = false, quotes = false;
    for (size_t at = 0; at < in.size(); ++at) {
        const char c = in[at], next = at + 1 < in.size() ? in[at + 1] : 0;
        bool ended = false, delimiter = false;
        if (comment) {
            if (c == '*' && next == '/') comment = false, ++at;
        } else if (quotes && c != '"' && c != '\'') {
            word += c;
        } else if (c == '"' || c == '\'') {  // either closes either
            quotes = !quotes, ended = true;
        } else if (c == '/' && (next == '*' || next == '/')) {
            at = next == '*' ? at + 1 : std::min(in.find('\n', at), in.size());
            comment = next == '*', ended = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {  // a lone CR joins
            ended = c != '\r' || next == '\n', at += ended && c == '\r';
        } else if (c != '/' && c != 0 && set.find(c) < 32) {
            delimiter = ended = true;
        } else {
            word += c;
        }
        if (ended && !word.empty())
            out.push_back({Tokenizer::Word, word.substr(0, std::min<size_t>(word.find('\0'), 256))}), word.clear();
        if (delimiter && at + 1 < in.size()) out.push_back({Tokenizer::Delimiter, std::string(1, c)});
    }
    return out;
}

// Both over bytes; with rng each token is taken by nextToken, nextFloat or nextInt at random, with reference values.
::testing::AssertionResult sameTokens(Tokenizer& real, const std::string& bytes, const std::string& set, Rng* rng) {
    ensureServices();
    const auto want = referenceTokens(bytes, set);
    real.setDelimiters(set.c_str());
    if (!real.open(new (std::nothrow) BytesStream(bytes))) return ::testing::AssertionFailure() << "open failed";
    float f = 0;
    int32_t n = 0;
    for (size_t i = 0; i <= want.size() + 1; ++i) {
        const int how = rng ? (int)rng->below(3) : 0;
        const int got = how == 1 ? real.nextFloat(&f) : how == 2 ? real.nextInt(&n) : real.nextToken();
        const int kind = i < want.size() ? want[i].first : Tokenizer::End;
        const std::string text = i < want.size() ? want[i].second : "";
        if (got != kind || (kind && (text != real.text() || real.textLength() != (int32_t)text.size() ||
                                     (how == 1 && bitsOf(f) != referenceFloat(text)) ||
                                     (how == 2 && n != referenceInt(text)))))
            return ::testing::AssertionFailure() << "token " << i << " via " << how << ": " << got << " \"" << real.text()
                                                 << "\" " << f << " " << n << " for " << kind << " \"" << text << '"';
    }
    return ::testing::AssertionSuccess();
}

// Token rules, every read of a token, and a tokenizer used again, against the reference.
TEST(Tokenizer, RandomTextLikeTheReference) {
    static const char kBytes[] = " \t\r\n\"'/*{}:\0" "0123456789.-+eE" "aZ_#\x80\xc3\xff";
    static const char kWordBytes[] = "0123456789.-eExyz_\x80\xff";
    Rng rng{1};
    Tokenizer reused;  // must start clean at every open
    for (int i = 0; i < 2000 * kScale; ++i) {
        std::string set = i % 2 ? "" : "{}:", t;  // or up to 40 random delimiters
        for (uint32_t k = 0, n = i % 2 ? rng.below(41) : 0; k < n; ++k)
            if (char c = rng.below(2) ? rng.pick(kBytes, sizeof kBytes - 1) : (char)rng.below(256)) set += c;
        for (uint32_t length = rng.below(4) ? rng.below(200) : rng.below(3000); t.size() < length;) {
            switch (rng.below(10)) {
            case 0:  // words around the 32-byte fast limit and the 256-byte cut, some joined by lone CRs and zero bytes
                for (uint32_t part = 0, n = rng.below(3) ? rng.below(40) : 225 + rng.below(rng.below(2) ? 40 : 300);
                     part < 3; ++part, n = rng.below(24)) {
                    if (part) t += rng.below(2) ? '\r' : '\0';
                    while (n--) t += rng.pick(kWordBytes, sizeof kWordBytes - 1);
                    if (rng.below(2)) break;
                }
                break;
            case 1: t.append(rng.below(70), rng.pick(" \t\n", 3)); break;  // runs across 16/32/64-byte blocks
            case 2: t += rng.below(2) ? "\r\n" : rng.below(2) ? "/*" : rng.below(2) ? "*/" : "//"; break;
            case 3: t += std::to_string(((int64_t)rng.next() >> rng.below(64)) * 1e-6) + "\t"; break;
            case 4: t += (char)rng.below(256); break;
            default: t += rng.pick(kBytes, sizeof kBytes - 1);
            }
        }
        // Text after a UTF-16 mark is decoded before it is split (utf16_text_test.cpp).
        if (startsWithUtf16Mark((const unsigned char*)t.data(), (int32_t)t.size())) t[0] = ' ';
        Tokenizer fresh;
        ASSERT_TRUE(sameTokens(i % 3 ? reused : fresh, t, set, i % 4 ? &rng : nullptr))
            << "input " << i << " delimiters " << ::testing::PrintToString(set) << ": " << ::testing::PrintToString(t);
    }
}

// A number's text in one of many forms, after odd prefixes, before odd suffixes.
std::string numberToken(Rng& rng) {
    static const char* const kPieces[] = {"-", "+", "--", "+-", ".", ".", "e", "E-", "e+", "0", "00", "0x", "p",
                                          "P-", "aF", "inf", "Infinity", "iNfInItY", "infinit", "nan", "NaN(0x7ff)",
                                          "nan(", "nan()", "nan(x y)", "\v", "x", "1.5.5", " 7"};
    // A float, half the time of a size that ASE files hold; its midpoint to the next is exact in double.
    uint32_t bits = (uint32_t)rng.next();
    if (rng.below(2)) bits = (bits & 0x807FFFFFu) | (107 + rng.below(45)) << 23;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    f = std::isfinite(f) ? std::fabs(f) : FLT_MAX;
    const double values[] = {((double)f + std::nextafter(f, INFINITY)) / 2, f, f * 1e-38f,
                             FLT_MAX * (1 + rng.below(3) * 0x1p-25)};
    std::string t = std::string(rng.below(16) ? 0 : 1 + rng.below(3), " \t\n\v\f\r"[rng.below(6)]) +
                    (rng.below(3) ? "" : rng.below(4) ? "-" : "+");
    char text[512];
    switch (rng.below(6)) {
    case 0:  // digits (long ones too), signs, points, exponents, hex, inf and nan in any mix
        for (uint32_t n = 1 + rng.below(5); n--;) {
            for (uint32_t k = rng.below(2) * (rng.below(4) ? 1 + rng.below(8) : 17 + rng.below(30)); k--;)
                t += (char)('0' + rng.below(10));
            t += rng.below(2) ? kPieces[rng.below(sizeof kPieces / sizeof *kPieces - 4)] : "";
        }
        break;
    case 1:  // 2^53 and around, the limit of the exact fast form, with the point anywhere
        t += std::to_string((1ull << 53) - 2 + rng.below(5)).insert(rng.below(17), ".");
        break;
    case 2: {  // float midpoints, floats, subnormals, the overflow edge; the last digit nudged half the time
        static const char* const kFormats[] = {"%.*e", "%.*g", "%.*f"};
        std::snprintf(text, sizeof text, kFormats[rng.below(3)], (int)rng.below(50), values[rng.below(4)]);
        char* last = std::strpbrk(text, "eE") ? std::strpbrk(text, "eE") - 1 : text + std::strlen(text) - 1;
        if (rng.below(2) && *last >= '0' && *last <= '9') *last ^= 1;
        t += text;
        break;
    }
    case 3:  // integers around the 32-bit limits and far beyond
        t += std::to_string(rng.below(3) ? (rng.below(2) ? INT32_MAX : INT32_MIN) + (int64_t)rng.below(7) - 3
                                         : (int64_t)rng.next() >> rng.below(64));
        break;
    case 4:  // the form the input's numbers take, "-?D.DDDD", or near it
        for (int k = rng.below(8) ? 1 : (int)rng.below(3); k--;) t += (char)('0' + rng.below(10));
        t += rng.below(8) ? "." : "";
        for (int k = rng.below(6) ? 4 : (int)rng.below(7); k--;) t += (char)('0' + rng.below(10));
        break;
    default: t += std::to_string(rng.below(2000));
    }
    return t + (rng.below(4) ? "" : kPieces[rng.below(sizeof kPieces / sizeof *kPieces)]);
}

// Every token through parseFloat and parseInt; the single words among them (but "nan(" forms, which Windows'
// C library reads otherwise inside a text) through the tokenizer too; the four-digit step against byte by byte.
TEST(Tokenizer, NumbersLikeTheLibrary) {
    Rng rng{11};
    Tokenizer tokenizer;
    std::string text;
    for (int i = 0; i < 100000 * kScale; ++i) {
        const std::string t = numberToken(rng);
        ASSERT_EQ(referenceFloat(t), bitsOf(parseFloat(t.c_str()))) << ::testing::PrintToString(t);
        ASSERT_EQ(referenceInt(t), parseInt(t.c_str())) << ::testing::PrintToString(t);
        if (!t.empty() && t.find_first_of(std::string(" \t\r\n\"'/{}:", 11)) == t.npos && t.find("nan(") == t.npos)
            text += t + (rng.below(3) ? " " : rng.below(2) ? "\r\n" : "\t\n  ");
        if (text.size() > 20000 || i + 1 == 100000 * kScale) {
            ASSERT_TRUE(sameTokens(tokenizer, text, "{}:", &rng));
            text.clear();
        }
    }
    for (int i = 0; i < 4 * 256 * 20 + 1000000; ++i) {  // each byte value in each place among digits, then any
        uint32_t x = (uint32_t)rng.next(), value = 0;
        bool digits = true;
        for (int k = 0; k < 4; ++k) {
            if (i < 4 * 256 * 20) x = (x & ~(0xFFu << 8 * k)) | (k == i / 5120 ? i / 20 % 256 : '0' + rng.below(10)) << 8 * k;
            digits = digits && isDigit((x >> 8 * k) & 0xFF), value = value * 10 + (x >> 8 * k & 0xFF) - '0';
        }
        ASSERT_TRUE(fourDigits(x) == digits && (!digits || fourDigitsValue(x) == value)) << std::hex << x;
    }
}

}  // namespace
