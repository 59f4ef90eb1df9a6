// The Tokenizer and its numbers: token rules by example; the fast scan against plain references on random input.
#include "ase/number.h"
#include "ase/tokenizer.h"
#include "support/memory_streams.h"
#include "support/rng.h"
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

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
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
        } else if (quotes) {
            if (c == '"' || c == '\'') quotes = false, ended = true;
            else word += c;
        } else if (c == '/' && (next == '*' || next == '/')) {
            at = next == '*' ? at + 1 : std::min(in.find('\n', at), in.size());
            comment = next == '*', ended = true;
        } else if (c == '"' || c == '\'') {
            quotes = ended = true;
        } else if (c == '\r') {
            if (next == '\n') ++at, ended = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            ended = true;
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
    if (!real.open(new BytesStream(bytes))) return ::testing::AssertionFailure() << "open failed";
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

// The whole sequence: words as they are, delimiters in brackets, joined by '|'.
std::string tokens(const std::string& input, const char* delimiters = "{}:") {
    ensureServices();
    Tokenizer t;
    t.setDelimiters(delimiters);
    EXPECT_EQ(1, t.open(new BytesStream(input)));
    std::string out;
    while (int kind = t.nextToken())
        out += (out.empty() ? "" : "|") + (kind == Tokenizer::Delimiter ? "[" + std::string(t.text()) + "]" : t.text());
    return out;
}

TEST(Tokenizer, TokenRulesAndExpect) {
    const std::string x256(256, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"*MESH_FACE    0:    A:    0 B:    1\n", "*MESH_FACE|0|[:]|A|[:]|0|B|[:]|1"}, {"abc{def\n", "abc|[{]|def"},
        {" \t a \t\t b  \n\n{\n}\n", "a|b|[{]|[}]"}, {"\x01\x7f\x80\xff \x0b\x0c;#\n", "\x01\x7f\x80\xff|\x0b\x0c;#"},
        {std::string("a\0b c\n", 6), "a|c"},  // a zero byte ends the text, not the word
        // Quotes: either kind closes either kind; the text is taken whole.
        {"*BITMAP \"C:\\maps\\wood grain.tga\"\n", "*BITMAP|C:\\maps\\wood grain.tga"},
        {"\"Bob's\" x 'y' z\n", "Bob|s| x |y"}, {"a \"\" b ''\n", "a|b"}, {"ab\"cd\"ef gh\n", "ab|cd|ef|gh"},
        {"\"a{b}:c\r\nd/*e//\" f\n", "a{b}:c\r\nd/*e//|f"}, {"a \"bc d\n", "a"},
        {"a/b c/ /\n", "a/b|c/|/"}, {"a//b c\nd\n", "a|d"}, {"a/*x*/b\n", "a|b"}, {"a*/b\n", "a*/b"},
        {"a /* b\n*\n/ c ** */d\n", "a|d"}, {"/*/ a */b\n", "b"}, {"a /* b c\n", "a"},
        {"ab\r\ncd\r\n", "ab|cd"}, {"ab\rcd\n", "abcd"}, {"ab\r\r\ncd\r{\n", "ab|cd|[{]"},
        // The last token needs a separator after it.
        {"x y", "x"}, {"x{", "x"}, {"{}", "[{]"}, {"a //", "a"}, {"a \"", "a"}, {"a\r", ""},
        {x256 + " y\n", x256 + "|y"}, {std::string(300, 'x') + "{\n", x256 + "|[{]"},
        {"\"" + std::string(150, 'x') + " " + std::string(149, 'y') + "\" z\n",
         std::string(150, 'x') + " " + std::string(105, 'y') + "|z"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, tokens(c.first)) << c.first;
    EXPECT_EQ("a{b|c}", tokens("a{b c}\n", ""));
    EXPECT_EQ("a|[;]|b{c", tokens("a;b{c\n", ";"));
    // Of 40 characters the first 32 count: 'F' is the 32nd, 'G' the 33rd.
    EXPECT_EQ("1|[z]|2|[F]|3G4", tokens("1z2F3G4\n", "zyxwvutsrqponmlkjihgfedcbaABCDEFGHIJKLMN"));

    // expect consumes the token, which stays readable; whole tokens only, case matters, the end matches nothing.
    Tokenizer t;
    t.setDelimiters("{}:");
    ASSERT_EQ(1, t.open(new BytesStream("  {\n*MATERIAL x *MESH_VERTEX *material\n")));
    EXPECT_TRUE(t.expect("{") && !t.expect("{") && std::string(t.text()) == "*MATERIAL" && t.expect("x"));
    EXPECT_FALSE(t.expect("*MESH") || t.expect("*MATERIAL") || t.expect(""));
}

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
    switch (rng.below(5)) {
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
    default: t += std::to_string(rng.below(2000));
    }
    return t + (rng.below(4) ? "" : kPieces[rng.below(sizeof kPieces / sizeof *kPieces)]);
}

// Every token through parseFloat and parseInt; the single words among them through the tokenizer too.
TEST(Tokenizer, NumbersLikeTheLibrary) {
    Rng rng{11};
    Tokenizer tokenizer;
    std::string text;
    for (int i = 0; i < 200000 * kScale; ++i) {
        const std::string t = numberToken(rng);
        ASSERT_EQ(referenceFloat(t), bitsOf(parseFloat(t.c_str()))) << ::testing::PrintToString(t);
        ASSERT_EQ(referenceInt(t), parseInt(t.c_str())) << ::testing::PrintToString(t);
        if (!t.empty() && t.find_first_of(std::string(" \t\r\n\"'/{}:", 11)) == std::string::npos)
            text += t + (rng.below(3) ? " " : rng.below(2) ? "\r\n" : "\t\n  ");
        if (text.size() > 20000 || i + 1 == 200000 * kScale) {
            ASSERT_TRUE(sameTokens(tokenizer, text, "{}:", &rng));
            text.clear();
        }
    }
    // The references against values worked out by hand: saturation, and a decimal just above a float midpoint.
    EXPECT_EQ(INT32_MIN, referenceInt("-4294967297"));
    EXPECT_EQ(0x3f800000u, referenceFloat("1.0000000596046447753906250001"));
}

// The forms the input's numbers take one word at a time, "-?D.DDDD", with neighbours that make them longer
// or another form, through the tokenizer against the library.
TEST(Tokenizer, ShortDecimalsLikeTheLibrary) {
    Rng rng{9};
    Tokenizer tokenizer;
    static const char kAfter[] = "0123456789.eE-+x:\x80\xb9";
    std::string text;
    for (int i = 0; i < 100000; ++i) {
        std::string t = rng.below(2) ? "-" : "";
        for (int k = rng.below(8) ? 1 : (int)rng.below(3); k--;) t += (char)('0' + rng.below(10));
        if (rng.below(8)) t += '.';
        for (int k = rng.below(6) ? 4 : (int)rng.below(7); k--;) t += (char)('0' + rng.below(10));
        if (!rng.below(4)) t += kAfter[rng.below(sizeof kAfter - 1)];
        text += t + (rng.below(3) ? "\t" : rng.below(2) ? "\n" : " ");
    }
    ASSERT_TRUE(sameTokens(tokenizer, text, "{}:", &rng));
}

// The four-digit step against byte by byte: every byte value in every place among digits, and random words.
TEST(Tokenizer, FourDigitsAtOnce) {
    auto check = [](uint32_t x) {
        unsigned char b[4];
        std::memcpy(b, &x, 4);
        const bool digits = isDigit(b[0]) && isDigit(b[1]) && isDigit(b[2]) && isDigit(b[3]);
        if (fourDigits(x) != digits) return false;
        return !digits || fourDigitsValue(x) == (uint32_t)((b[0] - '0') * 1000 + (b[1] - '0') * 100 +
                                                           (b[2] - '0') * 10 + (b[3] - '0'));
    };
    Rng rng{5};
    for (int place = 0; place < 4; ++place)
        for (uint32_t byte = 0; byte < 256; ++byte)
            for (int k = 0; k < 20; ++k) {
                uint32_t x = 0;
                for (int i = 0; i < 4; ++i) x |= (i == place ? byte : '0' + rng.below(10)) << (8 * i);
                ASSERT_TRUE(check(x)) << std::hex << x;
            }
    for (int i = 0; i < 1000000; ++i) {
        const uint32_t x = (uint32_t)rng.next();
        ASSERT_TRUE(check(x)) << std::hex << x;
    }
}

}  // namespace
