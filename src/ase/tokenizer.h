#pragma once
#include "ase/memory_read_stream.h"
#include "ase/number.h"

#include <cstdint>
#include <cstring>

// Splits ASE text into words and single-character delimiter tokens. The text
// of the token last delivered stays readable until the next call.
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
    // Whether the last open failed because memory ran out.
    bool openFailedForMemory() const { return openRanOutOfMemory; }
    int openFile(const char* path);
    void close();

    int nextToken() {
        int result = nextPlainToken();
        return result >= 0 ? result : nextTokenGeneral();
    }
    // The next token, converted as parseFloat / parseInt would; the value is
    // set whenever a token is delivered.
    int nextFloat(float* value) { return nextNumber<float, scanInputFloat, parseFloat>(value); }
    int nextInt(int32_t* value) { return nextNumber<int32_t, scanPlainInt, parseInt>(value); }
    // Consumes the next token; 1 when its text is literal.
    int expect(const char* literal) { return nextToken() != End && is(literal); }

    // The current token: its text (cut at a zero byte it may hold) and that
    // text's length. After the end of input there is no current token.
    const char* text() const { return current; }
    int32_t textLength() const { return currentLength; }
    bool atEnd() const { return mode == kEnded; }
    // True when the current token's text is keyword (exact, whole token).
    // Inline so that a literal's length folds away.
    bool is(const char* keyword) const { return is(keyword, std::strlen(keyword)); }
    bool is(const char* keyword, size_t length) const {
        return mode != kEnded && (size_t)currentLength == length && std::memcmp(current, keyword, length) == 0;
    }
    // The 1-based line of the input where the scan stands, for messages.
    int32_t lineNumber() const;
    // The line of a byte offset into the input. Both count lines from the
    // last offset asked for when it lies before, else from the start, so
    // they are for messages, not for every token.
    int32_t lineAt(int32_t offset) const;

    // How the input was decoded when it was UTF-16 text; null otherwise.
    const Utf16Decoding* utf16Decoding() const { return reader && utf16.decoded ? &utf16 : nullptr; }

    // For readers that split one input among threads (object_lookahead.h).
    const unsigned char* inputBytes() const { return input; }
    int32_t inputEnd() const { return inputSize; }
    // Index of the next byte to examine.
    int32_t position() const { return pos; }
    // Reads other's input from at on, between tokens in the plain state,
    // with other's delimiters; other keeps the input and must outlive this.
    void openShared(const Tokenizer& other, int32_t at);
    // Where the next token begins, separators consumed, when the scan stands
    // between tokens in the plain state (nothing pending, no comment or
    // quotes open); -1 otherwise. From such a place the tokens that follow
    // depend on the bytes alone.
    int32_t nextTokenStart();
    // Continues from at, a place nextTokenStart gave for this input (or its
    // end), as if the tokens before it had been read.
    void resumeAt(int32_t at);

    // The cursor of the line readers (line_scan.h), which read the common
    // lines of the mesh lists whole. cursor() gives the input from where the
    // scan stands when it stands between tokens in the plain state, the
    // delimiters are exactly "{}:" and kLineReach bytes lie ahead; null
    // otherwise. takeWord then moves the scan past the word [start, stop) of
    // those bytes, ended at stop by a blank or a line feed, and makes it the
    // current token: what reading the tokens up to it one by one leaves.
    static const int32_t kLineReach = 256;
    const unsigned char* cursor() const {
        return mode == kPlain && lineScansFit && lineScans && inputSize - pos >= kLineReach ? input + pos : nullptr;
    }
    int takeWord(const unsigned char* start, const unsigned char* stop) {
        return endPlainWord((int32_t)(start - input), (int32_t)(stop - input));
    }
    // Whether cursor() offers lines; off, everything is read token by token
    // (for tests that compare the two). Set before reading starts; a shared
    // opening takes it from the other tokenizer.
    bool lineScans = true;

private:
    Tokenizer(const Tokenizer&) = delete;
    Tokenizer& operator=(const Tokenizer&) = delete;

    // How the scan stands between calls. Comments and quoted strings carry
    // over from one token to the next; a delimiter that ended a word is
    // delivered by the following call.
    enum Mode : unsigned char { kPlain, kPendingDelimiter, kInComment, kInQuotes, kEnded };

    // How the scan treats each byte outside quotes and comments.
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

    // The state of one general scan, kept in locals while it runs: stores
    // into the token's text would otherwise force members to be reloaded
    // after every byte.
    struct Scan {
        int32_t at;
        int32_t length;  // bytes collected for the word
        int32_t zeroAt;  // where a zero byte cuts the word's text; -1 for none
        Mode mode;
        unsigned char pending;
    };

    void buildClasses();
    int nextTokenGeneral();
    int scanToken(Scan& s);
    bool scanPlain(Scan& s);
    bool scanQuoted(Scan& s);
    void skipComment(Scan& s);
    void collectRun(Scan& s);
    void collect(Scan& s, unsigned char c);
    int endWord(Scan& s);
    int deliverPending(Scan& s);

    // The common case, inline at every call: separators, then a plain word
    // of at most 32 bytes ended by a separator or a delimiter. Returns -1,
    // having consumed only separators, when the general scan must decide.
    int nextPlainToken() {
        if (mode != kPlain) return nextPendingDelimiter();
        const int32_t start = skipSeparators();
        if (inputSize - start <= 32 || classes[input[start]] != kOrdinary) return -1;
        int32_t stop = start + 1;
        while (stop - start <= 32 && classes[input[stop]] == kOrdinary) ++stop;
        if (stop - start > 32) return -1;
        return endPlainWord(start, stop);
    }

    int nextPendingDelimiter() {
        if (mode != kPendingDelimiter || pos >= inputSize) return -1;
        current[0] = (char)pendingDelimiter;
        current[1] = '\0';
        currentLength = 1;
        mode = kPlain;
        return Delimiter;
    }

    // Consumes separators (space, tab, line feed) in the plain state.
    int32_t skipSeparators() {
        int32_t at = pos;
        while (at < inputSize && (classes[input[at]] == kSpace || classes[input[at]] == kLineFeed)) ++at;
        pos = at;
        return at;
    }

    // Delivers the ordinary bytes [start, stop) as the word when the byte at
    // stop ends it plainly; -1 otherwise. Needs 32 readable bytes from start.
    int endPlainWord(int32_t start, int32_t stop) {
        const unsigned char after = input[stop];
        const unsigned char kind = classes[after];
        if (kind == kDelimiter) {
            pendingDelimiter = after;
            mode = kPendingDelimiter;
        } else if (kind != kSpace && kind != kLineFeed) {
            return -1;
        }
        pos = stop + 1;
        currentLength = stop - start;
        std::memcpy(current, input + start, 32);
        current[currentLength] = '\0';
        return Word;
    }

    template <typename T, const unsigned char* (*scan)(const unsigned char*, T*),
              T (*parse)(const char*)>
    int nextNumber(T* value) {
        int result = nextPlainNumber<T, scan>(value);
        if (result >= 0) return result;
        result = nextToken();
        if (result) *value = parse(current);
        return result;
    }

    // A plain number's bytes are ordinary, so a word that scans as one is
    // delivered without looking at its bytes again.
    template <typename T, const unsigned char* (*scan)(const unsigned char*, T*)>
    int nextPlainNumber(T* value) {
        if (mode != kPlain || !numbersOrdinary) return -1;
        const int32_t start = skipSeparators();
        if (inputSize - start < 32) return -1;
        const unsigned char* stop = scan(input + start, value);
        if (!stop) return -1;
        return endPlainWord(start, (int32_t)(stop - input));
    }

    MemoryReadStream* reader;
    Utf16Decoding utf16;  // of the reader's input
    bool openRanOutOfMemory = false;
    const unsigned char* input;
    int32_t inputSize;
    int32_t pos;
    Mode mode;
    unsigned char pendingDelimiter;
    char current[kMaxWord + 1];
    int32_t currentLength;

    char delimiters[kMaxDelimiters];
    int32_t delimiterCount;
    unsigned char classes[256];
    // The bytes of plain numbers (digits, '.', '-') are all ordinary, so a
    // number's scan finds its word too.
    bool numbersOrdinary;
    // The delimiters are "{}:", the set the line readers know.
    bool lineScansFit;
    // Where lineAt last counted to, and the line there.
    struct LineCount {
        int32_t offset = 0;
        int32_t line = 1;
    };
    mutable LineCount lineCount;
};
