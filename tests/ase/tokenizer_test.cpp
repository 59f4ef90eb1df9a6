// Token rules of the ASE text. These cases pin the token sequence exactly, so
// that any rewrite of the scanner keeps it.
#include "ase/tokenizer.h"

#include "ase/ase_fixture.h"

#include <gtest/gtest.h>

namespace {

// The whole token sequence: words as they are, delimiters in brackets,
// joined by '|'.
std::string tokens(const std::string& input, const char* delimiters = "{}:") {
    ensureServices();
    Tokenizer tokenizer;
    tokenizer.setDelimiters(delimiters);
    EXPECT_EQ(1, tokenizer.open(new BytesStream(input)));
    std::string out;
    for (int n = 0; n < 10000; ++n) {
        int kind = tokenizer.nextToken();
        if (kind == Tokenizer::End) break;
        if (!out.empty()) out += '|';
        std::string text = tokenizer.text;
        if (kind == Tokenizer::Delimiter) {
            EXPECT_EQ(1u, text.size());
            out += "[" + text + "]";
        } else {
            EXPECT_EQ(Tokenizer::Word, kind);
            out += text;
        }
    }
    // The end stays the end.
    EXPECT_EQ(Tokenizer::End, tokenizer.nextToken());
    EXPECT_EQ(Tokenizer::End, tokenizer.nextToken());
    return out;
}

struct TokenCase {
    const char* what;
    std::string input;
    std::string expected;
};

const std::string x256(256, 'x');

const TokenCase kCases[] = {
    // Words and delimiters.
    {"face line", "*MESH_FACE    0:    A:    0 B:    1\n", "*MESH_FACE|0|[:]|A|[:]|0|B|[:]|1"},
    {"brace inside word", "abc{def\n", "abc|[{]|def"},
    {"brace ends word", "abc}\n", "abc|[}]"},
    {"delimiter after separator", "a {\n}\n", "a|[{]|[}]"},
    {"delimiters in a row", "a{}:b\n", "a|[{]|[}]|[:]|b"},
    {"tabs and spaces", " \t a \t\t b  \n", "a|b"},
    {"line feeds only", "\n\na\n\n\nb\n", "a|b"},
    {"other bytes are word characters", "\x01\x7f\x80\xff \x0b\x0c;#\n",
     "\x01\x7f\x80\xff|\x0b\x0c;#"},
    {"empty input", "", ""},
    {"only separators", " \t\r\n \n", ""},

    // Quotes.
    {"quoted path", "*BITMAP \"C:\\maps\\wood grain.tga\"\n", "*BITMAP|C:\\maps\\wood grain.tga"},
    {"apostrophe closes a double quote", "\"Bob's\" x 'y' z\n", "Bob|s| x |y"},
    {"double quote closes an apostrophe", "'ab\" c\n", "ab|c"},
    {"empty quoted string", "a \"\" b ''\n", "a|b"},
    {"quote inside a word", "ab\"cd\"ef gh\n", "ab|cd|ef|gh"},
    {"quoted delimiters and line breaks", "\"a{b}:c\r\nd\te\" f\n", "a{b}:c\r\nd\te|f"},
    {"quoted comment marks", "\"a/*b//c\" d\n", "a/*b//c|d"},
    {"quoted text then delimiter", "\"a\"{\n", "a|[{]"},
    {"unterminated quote discarded", "a \"bc d\n", "a"},
    {"quote at end", "a \"", "a"},

    // Comments.
    {"slash inside word", "a/b c/ /\n", "a/b|c/|/"},
    {"line comment", "a//b c\nd\n", "a|d"},
    {"line comment without line feed", "a // b", "a"},
    {"block comment ends word", "a/*x*/b\n", "a|b"},
    {"block comment across lines", "a /* b\n*\n/ c ** */d\n", "a|d"},
    {"comment slash does not close", "/*/ a */b\n", "b"},
    {"unterminated block comment", "a /* b c\n", "a"},
    {"comment end outside comment", "a*/b\n", "a*/b"},
    {"slash last byte", "x a/", "x"},
    {"comment opened at end", "a /*", "a"},

    // Line ends.
    {"CR LF", "ab\r\ncd\r\n", "ab|cd"},
    {"lone CR dropped", "ab\rcd\n", "abcd"},
    {"lone CR then CR LF", "ab\r\r\ncd\r\n", "ab|cd"},
    {"CR before delimiter", "a\r{\n", "a|[{]"},
    {"lone CR at end ends nothing", "a\r", ""},

    // The last token needs a separator after it.
    {"last word without separator", "x y", "x"},
    {"last delimiter never delivered", "  {", ""},
    {"pending delimiter at end", "x{", "x"},
    {"two delimiters at end", "{}", "[{]"},
    {"delimiter then line feed", "{\n", "[{]"},

    // Length limit.
    {"word of 256", x256 + " y\n", x256 + "|y"},
    {"word of 300", std::string(300, 'x') + " y\n", x256 + "|y"},
    {"word of 300 then delimiter", std::string(300, 'x') + "{\n", x256 + "|[{]"},
    {"quoted text of 300", "\"" + std::string(150, 'x') + " " + std::string(149, 'y') + "\" z\n",
     std::string(150, 'x') + " " + std::string(105, 'y') + "|z"},
};

TEST(Tokenizer, TokenRules) {
    for (const TokenCase& c : kCases) EXPECT_EQ(c.expected, tokens(c.input)) << c.what;
    // A zero byte is a word character, but the text ends at it.
    EXPECT_EQ("a|c", tokens(std::string("a\0b c\n", 6)));
}

TEST(Tokenizer, DelimiterSet) {
    EXPECT_EQ("a{b|c}", tokens("a{b c}\n", ""));
    EXPECT_EQ("a|[;]|b{c", tokens("a;b{c\n", ";"));
    // Of 40 characters the first 32 count: 'F' is the 32nd, 'G' the 33rd.
    EXPECT_EQ("1|[z]|2|[F]|3G4", tokens("1z2F3G4\n", "zyxwvutsrqponmlkjihgfedcbaABCDEFGHIJKLMN"));
}

TEST(Tokenizer, Expect) {
    ensureServices();
    Tokenizer t;
    t.setDelimiters("{}:");
    ASSERT_EQ(1, t.open(new BytesStream("  {\n*MATERIAL x *MESH_VERTEX *material\n")));
    EXPECT_EQ(1, t.expect("{"));
    EXPECT_EQ(0, t.expect("{"));
    EXPECT_STREQ("*MATERIAL", t.text);  // consumed, still readable
    EXPECT_EQ(1, t.expect("x"));
    EXPECT_EQ(0, t.expect("*MESH"));      // whole tokens only
    EXPECT_EQ(0, t.expect("*MATERIAL"));  // case matters
    EXPECT_EQ(0, t.expect(""));           // the end
    ASSERT_EQ(1, t.open(new BytesStream("  {")));
    EXPECT_EQ(0, t.expect("{"));
}

TEST(Tokenizer, OpenStartsAfresh) {
    ensureServices();
    Tokenizer t;
    t.setDelimiters("{}:");
    EXPECT_EQ(0, t.nextToken());  // nothing open
    EXPECT_EQ(0, t.open(nullptr));
    // A pending delimiter, an open quote or comment, a word without its
    // separator: none survives.
    for (const char* unfinished : {"a{", "\"abc", "/* abc", "abc"}) {
        ASSERT_EQ(1, t.open(new BytesStream(unfinished)));
        while (t.nextToken()) {
        }
        ASSERT_EQ(1, t.open(new BytesStream("x y\n")));
        EXPECT_EQ(Tokenizer::Word, t.nextToken());
        EXPECT_STREQ("x", t.text) << unfinished;
    }
    // No new stream keeps the open one.
    EXPECT_EQ(0, t.open(nullptr));
    EXPECT_EQ(Tokenizer::Word, t.nextToken());
    EXPECT_STREQ("y", t.text);
    t.close();
    t.close();
    EXPECT_EQ(0, t.nextToken());
}

}  // namespace
