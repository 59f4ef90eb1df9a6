#include "ase/tokenizer.h"

#include "platform/filesystem.h"

#include <cstring>

Tokenizer::Tokenizer()
    : reader(nullptr),
      input(nullptr),
      inputSize(0),
      pos(0),
      mode(kEnded),
      pendingDelimiter(0),
      currentLength(0),
      delimiterCount(0) {
    std::memset(current, 0, sizeof current);
    buildClasses();
}

Tokenizer::~Tokenizer() { close(); }

void Tokenizer::setDelimiters(const char* characters) {
    delimiterCount = 0;
    while (characters[delimiterCount] && delimiterCount < kMaxDelimiters) {
        delimiters[delimiterCount] = characters[delimiterCount];
        ++delimiterCount;
    }
    buildClasses();
}

void Tokenizer::buildClasses() {
    std::memset(classes, kOrdinary, sizeof classes);
    classes[0] = kZero;
    // Delimiters first: the separators below take precedence over them.
    for (int32_t i = 0; i < delimiterCount; ++i) classes[(unsigned char)delimiters[i]] = kDelimiter;
    classes[(unsigned char)' '] = kSpace;
    classes[(unsigned char)'\t'] = kSpace;
    classes[(unsigned char)'\n'] = kLineFeed;
    classes[(unsigned char)'\r'] = kReturn;
    classes[(unsigned char)'"'] = kQuote;
    classes[(unsigned char)'\''] = kQuote;
    classes[(unsigned char)'/'] = kSlash;
    numbersOrdinary = classes[(unsigned char)'.'] == kOrdinary && classes[(unsigned char)'-'] == kOrdinary;
    for (int digit = '0'; digit <= '9'; ++digit) numbersOrdinary = numbersOrdinary && classes[digit] == kOrdinary;
    int delimiterBytes = 0;
    for (int b = 0; b < 256; ++b) delimiterBytes += classes[b] == kDelimiter;
    lineScansFit = delimiterBytes == 3 && classes[(unsigned char)'{'] == kDelimiter &&
                   classes[(unsigned char)'}'] == kDelimiter && classes[(unsigned char)':'] == kDelimiter;
}

int Tokenizer::open(Stream* stream) {
    if (!stream) return 0;
    close();
    utf16 = Utf16Decoding();
    reader = new (std::nothrow) MemoryReadStream(stream, &utf16);
    if (!reader) delete stream;
    openRanOutOfMemory = !reader || reader->outOfMemory();
    if (!reader || !reader->complete()) {
        close();
        return 0;
    }
    input = reader->contents();
    inputSize = reader->size();
    lineCount = LineCount{};
    resumeAt(0);
    return 1;
}

int Tokenizer::openFile(const char* path) { return open(gFileSystem->openRead(path)); }

void Tokenizer::close() {
    delete reader;
    reader = nullptr;
    input = nullptr;
    inputSize = 0;
    lineCount = LineCount{};
    mode = kEnded;
}

void Tokenizer::openShared(const Tokenizer& other, int32_t at) {
    close();
    for (int32_t i = 0; i < other.delimiterCount; ++i) delimiters[i] = other.delimiters[i];
    delimiterCount = other.delimiterCount;
    buildClasses();
    lineScans = other.lineScans;
    input = other.input;
    inputSize = other.inputSize;
    lineCount = LineCount{};
    resumeAt(at);
}

int32_t Tokenizer::nextTokenStart() {
    if (mode != kPlain) return -1;
    int32_t at = pos;
    while (at < inputSize) {
        unsigned char kind = classes[input[at]];
        // Between tokens a CR is passed over whether a LF follows or not.
        if (kind != kSpace && kind != kLineFeed && kind != kReturn) break;
        ++at;
    }
    pos = at;
    return at;
}

void Tokenizer::resumeAt(int32_t at) {
    pos = at < 0 ? 0 : at > inputSize ? inputSize : at;
    pendingDelimiter = 0;
    mode = kPlain;
}

int32_t Tokenizer::lineNumber() const {
    // The token ends before the separator that ended it.
    return lineAt(mode == kEnded ? inputSize : pos > 0 ? pos - 1 : 0);
}

int32_t Tokenizer::lineAt(int32_t offset) const {
    if (offset > inputSize) offset = inputSize;
    // Messages come mostly in reading order: counting on from the last one
    // keeps a message per object from costing the whole input each time.
    if (offset < lineCount.offset) lineCount = LineCount{};
    for (int32_t i = lineCount.offset; i < offset; ++i)
        if (input[i] == '\n') ++lineCount.line;
    lineCount.offset = offset;
    return lineCount.line;
}

// Everything nextPlainToken leaves: words ended otherwise or near the end of
// input, long words, quoted strings, comments, CRs, zero bytes.
int Tokenizer::nextTokenGeneral() {
    Scan s = {pos, 0, -1, mode, pendingDelimiter};
    const int result = scanToken(s);
    pos = s.at;
    mode = result == End ? kEnded : s.mode;
    pendingDelimiter = s.pending;
    return result;
}

// Bytes until a token is complete, or to the end of input, which discards a
// word that no separator ended and a delimiter still pending.
inline int Tokenizer::scanToken(Scan& s) {
    while (s.at < inputSize) {
        switch (s.mode) {
        case kPlain:
            if (scanPlain(s)) return endWord(s);
            break;
        case kPendingDelimiter:
            return deliverPending(s);
        case kInComment:
            skipComment(s);
            break;
        case kInQuotes:
            if (scanQuoted(s)) return endWord(s);
            break;
        case kEnded:
            return End;
        }
    }
    return End;
}

// One step outside quotes and comments: the byte at s.at and what it starts
// (a run of ordinary bytes is one step). True when it ends a word that has
// bytes; a separator before any byte of a word ends nothing.
inline bool Tokenizer::scanPlain(Scan& s) {
    const unsigned char c = input[s.at];
    const bool next = s.at + 1 < inputSize;
    switch (classes[c]) {
    case kOrdinary:
        collectRun(s);
        return false;
    case kZero:
        ++s.at;
        collect(s, c);
        return false;
    case kSpace:
    case kLineFeed:
        ++s.at;
        return s.length > 0;
    case kReturn:
        // Only a CR LF pair separates; a lone CR is dropped.
        if (next && input[s.at + 1] == '\n') {
            s.at += 2;
            return s.length > 0;
        }
        ++s.at;
        return false;
    case kQuote:
        ++s.at;
        s.mode = kInQuotes;
        return s.length > 0;
    case kSlash:
        if (next && input[s.at + 1] == '*') {
            s.at += 2;
            s.mode = kInComment;
            return s.length > 0;
        }
        if (next && input[s.at + 1] == '/') {
            const void* lineEnd = std::memchr(input + s.at + 2, '\n', (size_t)(inputSize - s.at - 2));
            s.at = lineEnd ? (int32_t)((const unsigned char*)lineEnd - input) + 1 : inputSize;
            return s.length > 0;
        }
        ++s.at;
        collect(s, c);
        return false;
    case kDelimiter:
        ++s.at;
        s.pending = c;
        s.mode = kPendingDelimiter;
        return s.length > 0;
    }
    return false;
}

// Inside quotes: everything up to a double quote or an apostrophe belongs to
// the word. True when the quotes close on a word that has bytes.
inline bool Tokenizer::scanQuoted(Scan& s) {
    while (s.at < inputSize) {
        const unsigned char c = input[s.at++];
        if (c == '"' || c == '\'') {
            s.mode = kPlain;
            return s.length > 0;
        }
        collect(s, c);
    }
    return false;
}

// Inside a block comment: only "*/" ends it.
inline void Tokenizer::skipComment(Scan& s) {
    for (;;) {
        const void* star = std::memchr(input + s.at, '*', (size_t)(inputSize - s.at));
        if (!star) {
            s.at = inputSize;
            return;
        }
        s.at = (int32_t)((const unsigned char*)star - input) + 1;
        if (s.at < inputSize && input[s.at] == '/') {
            ++s.at;
            s.mode = kPlain;
            return;
        }
    }
}

// The run of ordinary bytes from s.at, at once; bytes past the word limit are
// dropped.
inline void Tokenizer::collectRun(Scan& s) {
    const int32_t start = s.at;
    int32_t stop = start + 1;
    while (stop < inputSize && classes[input[stop]] == kOrdinary) ++stop;
    int32_t n = stop - start;
    if (n <= 16 && s.length + 16 <= kMaxWord && inputSize - start >= 16) {
        std::memcpy(current + s.length, input + start, 16);
    } else {
        if (n > kMaxWord - s.length) n = kMaxWord - s.length;
        std::memcpy(current + s.length, input + start, (size_t)n);
    }
    s.length += n;
    s.at = stop;
}

inline void Tokenizer::collect(Scan& s, unsigned char c) {
    if (s.length >= kMaxWord) return;
    if (c == 0 && s.zeroAt < 0) s.zeroAt = s.length;
    current[s.length++] = (char)c;
}

inline int Tokenizer::endWord(Scan& s) {
    current[s.length] = '\0';
    currentLength = s.zeroAt >= 0 ? s.zeroAt : s.length;
    return Word;
}

inline int Tokenizer::deliverPending(Scan& s) {
    current[0] = (char)s.pending;
    current[1] = '\0';
    currentLength = 1;
    s.mode = kPlain;
    return Delimiter;
}
