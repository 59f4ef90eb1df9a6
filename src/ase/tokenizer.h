#pragma once
#include "ase/byte_mask.h"
#include "ase/memory_read_stream.h"
#include "ase/number.h"

#include <cstdint>
#include <cstring>

// Splits ASE text into words and single-character delimiter tokens. The text
// of the token last delivered stays in text until the next call.
class Tokenizer {
public:
    static const int32_t kMaxWord = 256;
    static const int32_t kMaxDelimiters = 32;

    enum Result { End = 0, Word = 1, Delimiter = 2 };

    Tokenizer();
    ~Tokenizer();

    void setDelimiters(const char* characters);
    // Takes stream over. 0 when no stream is given or its bytes could not be
    // read whole.
    int open(Stream* stream);
    int openFile(const char* path);
    // Reads other's input from pos on, between tokens in the plain state,
    // with other's delimiters; other keeps the input and must outlive this.
    void openShared(const Tokenizer& other, int32_t pos);
    // Where the next token begins, separators consumed, when the scan stands
    // between tokens in the plain state (nothing pending, no comment or
    // quotes open); -1 otherwise. From such a place the tokens that follow
    // depend on the bytes alone.
    int32_t nextTokenStart();
    // Continues from pos, a place nextTokenStart gave for this input (or its
    // end), as if the tokens before it had been read.
    void resumeAt(int32_t pos);
    int nextToken() {
        int result = nextPlainToken();
        return result >= 0 ? result : nextTokenGeneral();
    }
    // The next token, converted as parseFloat / parseInt would; the value is
    // set whenever a token is delivered.
    int nextFloat(float* value) { return nextNumber<float, scanInputFloat, parseFloat>(value); }
    int nextInt(int32_t* value) { return nextNumber<int32_t, scanPlainInt, parseInt>(value); }

    // For readers that scan a line ahead of the tokens (see line_scan.h): the
    // bytes from where the scan stands, when it stands between tokens in the
    // plain state, plain numbers are words of their own and kLineReach bytes
    // lie ahead; null otherwise.
    const unsigned char* lineAhead() const {
        return fastState == kFastPlain && numbersOrdinary && lineScans && inputSize - position >= kLineReach
                   ? input + position
                   : nullptr;
    }
    static const int32_t kLineReach = 256;
    bool isBlank(unsigned char c) const { return classes[c] == kSpace; }
    bool isLineFeed(unsigned char c) const { return classes[c] == kLineFeed; }
    bool isOrdinary(unsigned char c) const { return classes[c] == kOrdinary; }
    bool isDelimiter(unsigned char c) const { return classes[c] == kDelimiter; }
    // Bit i set when at[i] may not be ordinary: every byte that is not is
    // marked, and a few others may be. 64 bytes must be readable from at.
    uint64_t unordinaryBytes(const unsigned char* at) const { return byteMask.block(at); }
    // Takes the word [start, stop) of the input, ended by a blank or a line
    // feed at stop, as the token last read: the state is what reading the
    // tokens up to it one by one leaves.
    int takeWord(const unsigned char* start, const unsigned char* stop) {
        return endPlainWord((int32_t)(start - input), (int32_t)(stop - input));
    }
    // Whether lineAhead offers lines; off, everything is read token by token
    // (for tests that compare the two). Set before reading starts.
    static inline bool lineScans = true;

    // Consumes the next token; 1 when its text is literal.
    int expect(const char* literal) { return nextToken() != End && is(literal); }
    void close();

    // True when the current token's text is keyword (exact, whole token, up to
    // the text's first zero byte). After the end of input there is no current
    // token. Inline so that a literal's length folds away.
    bool is(const char* keyword) const { return is(keyword, std::strlen(keyword)); }
    bool is(const char* keyword, size_t length) const {
        return !atEnd && (size_t)tokenLength == length && std::memcmp(text, keyword, length) == 0;
    }

    const unsigned char* inputBytes() const { return input; }
    int32_t inputEnd() const { return inputSize; }

    // The 1-based line of the input where the scan stands, for messages.
    int32_t lineNumber() const;

    MemoryReadStream* reader;
    int32_t position;
    int32_t textLength;
    int32_t pendingDelimiter;
    char text[kMaxWord + 1];
    char delimiters[kMaxDelimiters];
    int32_t delimiterCount;
    bool tokenEnded;
    bool inBlockComment;
    bool inQuotes;
    bool atEnd;
    // When nextPlainToken may run: nothing pending, no comment or quotes
    // open, no word begun (plain), or the same with only a delimiter pending.
    enum FastState : unsigned char { kFastNone, kFastPlain, kFastDelimiter };
    unsigned char fastState;
    // Length of the current token's text as a C string.
    int32_t tokenLength;

private:
    Tokenizer(const Tokenizer&) = delete;
    Tokenizer& operator=(const Tokenizer&) = delete;

    // How nextToken treats each byte outside quotes and comments.
    enum CharClass : unsigned char {
        kOrdinary,
        kZero,
        kSpace,
        kLineFeed,
        kReturn,
        kQuote,
        kSlash,
        kDelimiter
    };
    void buildClasses();
    int32_t ordinaryRunEnd(int32_t pos);
    void loadBlock(int32_t pos);
    int nextTokenGeneral();

    // The common case, inline at every call: separators, then a plain word
    // of at most 32 bytes ended by a separator or a delimiter. Returns -1,
    // having consumed only separators, when the general scan must decide.
    int nextPlainToken() {
        if (fastState != kFastPlain) return nextPendingDelimiter();
        int32_t pos = skipSeparators();
        const int32_t end = inputSize;
        if (pos >= end || classes[input[pos]] != kOrdinary || end - pos < 32) return -1;
        int32_t offset = pos + 1 - blockStart;
        if ((uint32_t)offset >= 64u) {
            loadBlock(pos + 1);
            offset = pos + 1 - blockStart;
        }
        uint64_t hits = blockMask >> offset;
        int32_t stop;
        if (hits) {
            stop = pos + 1 + firstSetBit(hits);
        } else {
            // The word runs into the next block.
            int32_t next = blockStart + 64;
            if (next >= end) return -1;
            loadBlock(next);
            if (!blockMask) return -1;
            stop = next + firstSetBit(blockMask);
        }
        if (stop >= end || stop - pos > 32) return -1;
        return endPlainWord(pos, stop);
    }

    int nextPendingDelimiter() {
        if (fastState != kFastDelimiter || position >= inputSize) return -1;
        text[0] = (char)pendingDelimiter;
        text[1] = '\0';
        tokenLength = 1;
        pendingDelimiter = 0;
        fastState = kFastPlain;
        atEnd = false;
        tokenEnded = true;
        return Delimiter;
    }

    // Consumes separators (space, tab, line feed) in the plain state.
    int32_t skipSeparators() {
        const unsigned char* in = input;
        const int32_t end = inputSize;
        int32_t pos = position;
        while (pos < end) {
            unsigned char kind = classes[in[pos]];
            if (kind != kSpace && kind != kLineFeed) break;
            ++pos;
        }
        position = pos;
        return pos;
    }

    // Delivers the ordinary bytes [pos, stop) as the word when the byte at
    // stop ends it plainly; -1 otherwise. Needs 32 readable bytes from pos.
    int endPlainWord(int32_t pos, int32_t stop) {
        unsigned char after = input[stop];
        unsigned char kind = classes[after];
        if (kind == kSpace || kind == kLineFeed) {
            position = stop + 1;
        } else if (kind == kDelimiter) {
            pendingDelimiter = after;
            fastState = kFastDelimiter;
            position = stop + 1;
        } else {
            return -1;
        }
        int32_t n = stop - pos;
        tokenLength = n;
        atEnd = false;
        tokenEnded = true;
        std::memcpy(text, input + pos, 32);
        text[n] = '\0';
        return Word;
    }

    template <typename T, const unsigned char* (*scan)(const unsigned char*, T*),
              T (*parse)(const char*)>
    int nextNumber(T* value) {
        int result = nextPlainNumber<T, scan>(value);
        if (result >= 0) return result;
        result = nextToken();
        if (result) *value = parse(text);
        return result;
    }

    // A plain number's bytes are ordinary, so a word that scans as one is
    // delivered without the block mask.
    template <typename T, const unsigned char* (*scan)(const unsigned char*, T*)>
    int nextPlainNumber(T* value) {
        if (fastState != kFastPlain || !numbersOrdinary) return -1;
        int32_t pos = skipSeparators();
        if (inputSize - pos < 32) return -1;
        const unsigned char* stop = scan(input + pos, value);
        if (!stop) return -1;
        return endPlainWord(pos, (int32_t)(stop - input));
    }

    unsigned char classes[256];
    // The bytes of plain numbers (digits, '.', '-') are all ordinary, so a
    // number's scan finds its word too.
    bool numbersOrdinary;
    ByteMask byteMask;
    // Bytes of the input that are not ordinary, 64 at a time: bit i of
    // blockMask stands for input[blockStart + i].
    int32_t blockStart;
    uint64_t blockMask;

    const unsigned char* input;
    int32_t inputSize;
};
