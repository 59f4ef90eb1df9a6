// The fast Tokenizer against the byte-at-a-time reference: random text rich
// in the bytes that matter, the real corpus and generated ASE lines must give
// the same tokens, and the number entry points the same values.
#include "ase/tokenizer.h"

#include "ase/ase_fixture.h"
#include "ase/reference_number.h"
#include "ase/reference_tokenizer.h"
#include "support/rng.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

// Separators, quotes, comment bytes, delimiters, a zero byte, number bytes,
// letters and high bytes.
const char kBytes[] =
    " \t\r\n\"'/*{}:\0"
    "0123456789.-+eE"
    "aZ_#\x80\xc3\xff";
const char kWordBytes[] = "0123456789.-eExyz_\x80\xff";

std::string randomText(Rng& rng) {
    const uint32_t length = rng.below(4) ? rng.below(200) : rng.below(3000);
    std::string t;
    char buffer[64];
    while (t.size() < length) {
        switch (rng.below(10)) {
        case 0:  // words around the 32-byte fast limit and the 256-byte cut, some
                 // pieced together across lone CRs and zero bytes
            for (uint32_t part = 0, n = rng.below(3) ? rng.below(40) : 225 + rng.below(rng.below(2) ? 32 : 300);
                 part < 3; ++part, n = rng.below(24)) {
                if (part) t += rng.below(2) ? '\r' : '\0';
                while (n--) t += rng.pick(kWordBytes, sizeof kWordBytes - 1);
                if (rng.below(2)) break;
            }
            break;
        case 1: t.append(rng.below(70), rng.pick(" \t\n", 3)); break;  // runs across 16/32/64-byte blocks
        case 2: t += rng.below(2) ? "\r\n" : rng.below(2) ? "/*" : rng.below(2) ? "*/" : "//"; break;
        case 3:
            std::snprintf(buffer, sizeof buffer, "%.*f", (int)rng.below(8),
                          ((int64_t)rng.next() >> rng.below(64)) * 1e-6);
            t += buffer;
            break;
        case 4: t += (char)rng.below(256); break;
        default: t += rng.pick(kBytes, sizeof kBytes - 1);
        }
    }
    return t;
}

// ASE-like lines: keywords, tab indents, numbers in the writer's forms,
// quoted names with spaces, braces, face lines, CR LF or LF endings.
std::string aseText(Rng& rng) {
    std::string t;
    char line[256];
    auto real = [&] { return (rng.below(2) ? 1 : -1) * (double)rng.below(1u << 30) / (1 << rng.below(31)); };
    for (int i = 0, n = (int)rng.below(60); i < n; ++i) {
        std::string indent(rng.below(5), '\t');
        switch (rng.below(5)) {
        case 0:
            std::snprintf(line, sizeof line, "*MESH_VERTEX %5d\t%.4f\t%.4f\t%.4f", i, real(), real(), real());
            break;
        case 1:
            std::snprintf(line, sizeof line,
                          "*MESH_FACE %5d:    A: %5d B: %5d C: %5d AB:    1 BC:    0 CA:    1\t *MESH_SMOOTHING %d "
                          "\t*MESH_MTLID %d",
                          i, (int)rng.below(99999), (int)rng.below(99999), (int)rng.below(99999), (int)rng.below(32),
                          (int)rng.below(8));
            break;
        case 2: std::snprintf(line, sizeof line, "*MESH_TVERT %d\t%.6f\t%.6f\t%g", i, real(), real(), real()); break;
        case 3:
            std::snprintf(line, sizeof line, "*BITMAP \"C:\\maps\\wood grain %d.tga\" *MATERIAL_NAME \"Bob's\"", i);
            break;
        default: std::snprintf(line, sizeof line, "%s", rng.below(2) ? "*MESH_NORMALS {" : "}"); break;
        }
        t += indent + line + (rng.below(2) ? "\r\n" : "\n");
    }
    return t;
}

// Both tokenizers over bytes to the end. With rng, each token is taken at
// random by nextToken, nextFloat or nextInt; the number forms must match the
// reference's token converted by the standard library.
::testing::AssertionResult sameTokens(Tokenizer& real, const std::string& bytes, const char* delimiters, Rng* rng) {
    ReferenceTokenizer reference((const unsigned char*)bytes.data(), (int32_t)bytes.size(), delimiters);
    if (!real.open(new BytesStream(bytes))) return ::testing::AssertionFailure() << "open failed";
    for (int i = 0;; ++i) {
        float f = 0;
        int32_t n = 0;
        const int how = rng ? (int)rng->below(3) : 0;
        const int got = how == 1 ? real.nextFloat(&f) : how == 2 ? real.nextInt(&n) : real.nextToken();
        const int want = reference.nextToken();
        auto fail = [&] {
            return ::testing::AssertionFailure() << "token " << i << " (entry " << how << "): got " << got << " \""
                                                 << real.text << "\", want " << want << " \"" << reference.text << '"';
        };
        if (got != want) return fail();
        if (!want) break;
        if (std::strcmp(real.text, reference.text) != 0 || real.tokenLength != (int32_t)std::strlen(real.text))
            return fail() << " length " << real.tokenLength;
        if (how == 1 && floatBits(f) != floatBits(referenceFloat(reference.text))) return fail() << " value " << f;
        if (how == 2 && n != referenceInt(reference.text)) return fail() << " value " << n;
    }
    float f;
    int32_t n;
    if (real.nextToken() || real.nextFloat(&f) || real.nextInt(&n))
        return ::testing::AssertionFailure() << "a token after the end";
    return ::testing::AssertionSuccess();
}

std::string escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes.substr(0, 600)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c >= 32 && c < 127 && c != '\\' ? "%c" : "\\x%02x", c);
        out += hex;
    }
    return out;
}

#ifdef NDEBUG
const int kScale = 10;
#else
const int kScale = 1;  // sanitizer and debug builds
#endif

TEST(TokenizerDifferential, RandomTextWithTheReaderDelimiters) {
    ensureServices();
    Rng rng{1};
    std::unique_ptr<Tokenizer> real;
    for (int i = 0; i < 2000 * kScale; ++i) {
        if (i % 3 == 0) {  // fresh ones, and reused ones that must start clean at every open
            real.reset(new Tokenizer);
            real->setDelimiters("{}:");
        }
        std::string text = randomText(rng);
        ASSERT_TRUE(sameTokens(*real, text, "{}:", i % 2 ? &rng : nullptr)) << "input " << i << ": " << escaped(text);
    }
}

TEST(TokenizerDifferential, RandomTextWithOtherDelimiterSets) {
    ensureServices();
    Rng rng{2};
    Tokenizer real;
    for (int i = 0; i < 1000 * kScale; ++i) {
        // Up to 40 characters, of which the first 32 count; separators,
        // quotes and slashes among them lose to their own rules.
        char set[41] = {};
        for (uint32_t k = 0, n = rng.below(41); k < n; ++k) {
            char c = rng.below(2) ? rng.pick(kBytes, sizeof kBytes - 1) : (char)rng.below(256);
            set[k] = c ? c : 'e';
        }
        real.setDelimiters(set);
        std::string text = randomText(rng);
        ASSERT_TRUE(sameTokens(real, text, set, &rng))
            << "input " << i << " delimiters \"" << escaped(set) << "\": " << escaped(text);
    }
}

// Every split of a word near the 256-byte cut into two runs by a lone CR or
// a zero byte, ended by each kind of byte.
TEST(TokenizerDifferential, WordsPiecedTogetherNearTheCut) {
    ensureServices();
    Tokenizer real;
    real.setDelimiters("{}:");
    for (int first = 220; first <= 260; ++first)
        for (int second = 0; second <= 20; ++second)
            for (const std::string& joint : {std::string("\r"), std::string("\r\r"), std::string(1, '\0')})
                for (const char* after : {" ", "\n", "{", "\r\n", "\"", "/", "//", "\r", ""}) {
                    std::string text = std::string((size_t)first, 'a') + joint + std::string((size_t)second, 'b') +
                                       after + " z\n" + std::string(40, ' ');
                    text[(size_t)first / 2] = '\0';  // cut short as a C string, still counted
                    ASSERT_TRUE(sameTokens(real, text, "{}:", nullptr)) << first << "+" << second << after;
                    text[(size_t)first / 2] = 'a';
                    ASSERT_TRUE(sameTokens(real, text, "{}:", nullptr)) << first << "+" << second << after;
                }
}

TEST(TokenizerDifferential, GeneratedAseLines) {
    ensureServices();
    Rng rng{3};
    Tokenizer real;
    real.setDelimiters("{}:");
    for (int i = 0; i < 200 * kScale; ++i) {
        std::string text = aseText(rng);
        ASSERT_TRUE(sameTokens(real, text, "{}:", &rng)) << "input " << i << ": " << escaped(text);
    }
}

TEST(TokenizerDifferential, Corpus) {
    namespace fs = std::filesystem;
    if (!fs::is_directory(TARVOLT_CORPUS)) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(TARVOLT_CORPUS)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ensureServices();
    Rng rng{4};
    Tokenizer real;
    real.setDelimiters("{}:");
    for (const fs::path& file : files) {
        std::stringstream bytes;
        bytes << std::ifstream(file, std::ios::binary).rdbuf();
        EXPECT_TRUE(sameTokens(real, bytes.str(), "{}:", nullptr)) << file;
        EXPECT_TRUE(sameTokens(real, bytes.str(), "{}:", &rng)) << file;
    }
    EXPECT_FALSE(files.empty());
}

}  // namespace
