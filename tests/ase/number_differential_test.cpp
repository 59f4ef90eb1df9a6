// parseFloat and parseInt, and the tokenizer's nextFloat and nextInt, against
// the standard library over millions of generated tokens: floats must agree
// to the bit, integers after clamping to 32 bits.
#include "ase/number.h"
#include "ase/tokenizer.h"

#include "ase/ase_fixture.h"
#include "ase/reference_number.h"
#include "support/rng.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

#ifdef NDEBUG
const int kTokens = 2000000;
#else
const int kTokens = 200000;  // sanitizer and debug builds
#endif

std::string digits(Rng& rng, uint32_t n) {
    std::string t;
    while (n--) t += (char)('0' + rng.below(10));
    return t;
}

std::string printed(const char* format, int precision, double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, precision, value);
    return buffer;
}

// A decimal text with the last digit of its mantissa moved one up or down.
std::string nudged(std::string t, Rng& rng) {
    size_t last = t.find_last_of("0123456789", t.find_first_of("eE"));
    if (last != std::string::npos)
        t[last] = rng.below(2) ? (t[last] == '9' ? '8' : t[last] + 1) : (t[last] == '0' ? '1' : t[last] - 1);
    return t;
}

// A number's text in one of many forms, with odd prefixes and suffixes.
std::string numberToken(Rng& rng) {
    static const char* const kSigns[] = {"", "", "", "", "", "", "-", "-", "-", "-", "+", "+", "", "--", "+-", "-+"};
    // inf and nan spellings, and forms that are nearly numbers
    static const char* const kWords[] = {
        "inf",   "INF",  "Infinity", "iNfInItY", "infinit", "in", "nan", "NaN", "nan(123)", "nan(0x7ff)",
        "nan()", "nan(", "nan(x y)", "i",        "n",       "",   ".",   "-",   "+",        ".5",
        "5.",    "-.5",  "-5.",      "0",        "-0",      "00", ".e1", "e5",  "0x",       "0x.p1"};
    static const char* const kTails[] = {"x", ".5", ".", "e", "e+", "E-", "-", " 7", "\v", "1.5.5"};
    std::string head = rng.below(16) ? "" : std::string(1 + rng.below(3), " \t\n\v\f\r"[rng.below(6)]);
    std::string sign = kSigns[rng.below(16)];
    std::string body;
    // A random float, half the time of a size that ASE files hold.
    uint32_t bits = (uint32_t)rng.next();
    if (rng.below(2)) bits = (bits & 0x807FFFFFu) | (107 + rng.below(45)) << 23;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    f = std::isfinite(f) ? std::fabs(f) : FLT_MAX;
    const double up = std::nextafter(f, INFINITY), mid = ((double)f + up) / 2;  // exact in double
    switch (rng.below(11)) {
    case 0:
    case 1:  // the writer's "%.4f" and "%.6f" forms at every magnitude
        body = (rng.below(3) ? std::string(1, '0')
                             : std::string(1, (char)('1' + rng.below(9))) + digits(rng, rng.below(24))) +
               "." + digits(rng, rng.below(2) ? 4 : 6);
        break;
    case 2:  // plain decimals around the exact fast form's limits: 19 digits, 2^53
        body = rng.below(2) ? std::to_string((1ull << 53) + rng.below(5) - 2) : digits(rng, 17 + rng.below(4));
        body.insert(rng.below((uint32_t)body.size() + 1), ".");
        body = std::string(rng.below(4), '0') + body;
        break;
    case 3: {  // digits, point, digits, exponent, in any mix
        body = std::string(rng.below(3) ? 0 : rng.below(6), '0') +
               digits(rng, rng.below(4) ? rng.below(8) : 20 + rng.below(21));
        if (rng.below(2)) body += "." + digits(rng, rng.below(4) ? rng.below(8) : 20 + rng.below(21));
        if (!rng.below(3))
            body += std::string(1, "eE"[rng.below(2)]) + kSigns[rng.below(12)] +
                    (rng.below(4) ? std::to_string(rng.below(60)) : digits(rng, 1 + rng.below(12)));
        break;
    }
    case 4:  // float midpoints written exactly, and the decimals just around them
        body = printed(rng.below(2) ? "%.*e" : "%.*g", 5 + (int)rng.below(40), mid);
        if (rng.below(2)) body = nudged(body, rng);
        break;
    case 5:  // floats themselves, shortest round trip and beyond; subnormals and the overflow edge
        body = printed("%.*g", 6 + (int)rng.below(12),
                       rng.below(4)   ? f
                       : rng.below(2) ? f * 1e-38f
                                      : FLT_MAX * (1 + rng.below(3) * 0x1p-25));
        if (rng.below(2)) body = nudged(body, rng);
        break;
    case 6:  // the same in plain digits, many of them short enough for the exact fast form
        body = printed("%.*f", (int)rng.below(rng.below(2) ? 12 : 60), rng.below(2) ? mid : (double)f);
        break;
    case 7:  // hex floats
        body =
            std::string("0x") + "0123456789abcdefABCDEF"[rng.below(22)] + (rng.below(2) ? ".8" : "") +
            (rng.below(3) ? std::string(1, "pP"[rng.below(2)]) + kSigns[rng.below(12)] + std::to_string(rng.below(200))
                          : "");
        break;
    case 8:  // integers around the 32-bit limits and far beyond
        body = std::to_string((rng.below(2) ? INT32_MAX : INT32_MIN) + (int64_t)rng.below(7) - 3);
        if (rng.below(3) == 0) body = std::to_string((int64_t)rng.next() >> rng.below(64));
        break;
    case 9: body = std::to_string(rng.below(2000)); break;
    default: body = kWords[rng.below(30)];
    }
    return head + sign + body + (rng.below(4) ? "" : kTails[rng.below(10)]);
}

// A single word and what the library makes of it.
struct Word {
    std::string text;
    uint32_t realBits;
    int32_t integer;
};

// The words, read back through nextFloat and nextInt at random from text in
// which separators stand between them.
::testing::AssertionResult readBack(Tokenizer& tokenizer, const std::vector<Word>& words, const std::string& text,
                                    Rng& rng) {
    if (!tokenizer.open(new BytesStream(text))) return ::testing::AssertionFailure() << "open failed";
    for (const Word& word : words) {
        float f = -1;
        int32_t n = -1;
        const bool real = rng.below(2);
        const int result = real ? tokenizer.nextFloat(&f) : tokenizer.nextInt(&n);
        if (result != Tokenizer::Word || word.text != tokenizer.text ||
            (real ? floatBits(f) != word.realBits : n != word.integer))
            return ::testing::AssertionFailure() << '"' << word.text << "\" came back as " << result << " \""
                                                 << tokenizer.text << "\" " << (real ? f : n);
    }
    float f;
    if (tokenizer.nextFloat(&f) != Tokenizer::End) return ::testing::AssertionFailure() << "no end";
    return ::testing::AssertionSuccess();
}

// Every token through parseFloat and parseInt; the ones that are single words
// also through the tokenizer.
TEST(NumberDifferential, LibraryConversionOnEveryPath) {
    ensureServices();
    static const char* const kSeparators[] = {" ", "\t", "\n", "\r\n", " \t\n  "};
    static const std::string kNotInWords(" \t\r\n\"'/{}:", 11);
    Rng rng{11};
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    std::vector<Word> words;
    std::string text;
    int wordCount = 0;
    for (int i = 0; i < kTokens; ++i) {
        const std::string t = numberToken(rng);
        const uint32_t realBits = floatBits(referenceFloat(t.c_str()));
        const int32_t integer = referenceInt(t.c_str());
        ASSERT_EQ(realBits, floatBits(parseFloat(t.c_str()))) << '"' << t << '"';
        ASSERT_EQ(integer, parseInt(t.c_str())) << '"' << t << '"';
        if (!t.empty() && t.find_first_of(kNotInWords) == std::string::npos) {
            words.push_back({t, realBits, integer});
            text += t + kSeparators[rng.below(5)];
        }
        if (words.size() == 1000 || i + 1 == kTokens) {
            ASSERT_TRUE(readBack(tokenizer, words, text, rng));
            wordCount += (int)words.size();
            words.clear();
            text.clear();
        }
    }
    EXPECT_GT(wordCount, kTokens / 2);
}

}  // namespace
