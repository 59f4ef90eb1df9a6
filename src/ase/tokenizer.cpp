#include "ase/tokenizer.h"

#include "platform/filesystem.h"

#include <cstring>

Tokenizer::Tokenizer()
    : reader(nullptr),
      position(0),
      textLength(0),
      pendingDelimiter(0),
      delimiterCount(0),
      tokenEnded(false),
      inBlockComment(false),
      inQuotes(false),
      atEnd(true),
      fastState(kFastNone),
      tokenLength(0),
      blockStart(-64),
      blockMask(0),
      input(nullptr),
      inputSize(0) {
    std::memset(text, 0, sizeof text);
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
    unsigned char special[256];
    for (int b = 0; b < 256; ++b) special[b] = classes[b] != kOrdinary;
    byteMask.build(special);
    // No block loaded: every offset from -64 is 64 or more, so the next scan
    // loads one (from -1 the plain-word path read a stale or empty mask).
    blockStart = -64;
}

void Tokenizer::loadBlock(int32_t pos) {
    const int32_t end = inputSize;
    blockStart = pos & ~63;
    if (end - blockStart >= 64) {
        blockMask = byteMask.block(input + blockStart);
    } else {
        // The last block: bytes past the end count as zero bytes, which are
        // marked, so a run always stops at the end.
        unsigned char tail[64] = {0};
        std::memcpy(tail, input + blockStart, (size_t)(end - blockStart));
        blockMask = byteMask.block(tail);
    }
}

int32_t Tokenizer::ordinaryRunEnd(int32_t pos) {
    const int32_t end = inputSize;
    for (;;) {
        if (pos >= end) return end;
        int32_t offset = pos - blockStart;
        if (blockStart < 0 || offset < 0 || offset >= 64) {
            loadBlock(pos);
            offset = pos - blockStart;
        }
        uint64_t hits = blockMask >> offset;
        while (hits) {
            int32_t at = pos + firstSetBit(hits);
            if (at >= end) return end;
            if (classes[input[at]] != kOrdinary) return at;
            hits &= hits - 1;
        }
        pos = blockStart + 64;
    }
}

int Tokenizer::open(Stream* stream) {
    if (!stream) return 0;
    close();
    reader = new MemoryReadStream(stream);
    if (!reader->complete()) {
        close();
        return 0;
    }
    input = reader->contents();
    inputSize = reader->size();
    resumeAt(0);
    return 1;
}

void Tokenizer::openShared(const Tokenizer& other, int32_t pos) {
    close();
    for (int32_t i = 0; i < other.delimiterCount; ++i) delimiters[i] = other.delimiters[i];
    delimiterCount = other.delimiterCount;
    buildClasses();
    input = other.input;
    inputSize = other.inputSize;
    resumeAt(pos);
}

int32_t Tokenizer::nextTokenStart() {
    if (fastState != kFastPlain) return -1;
    int32_t pos = position;
    while (pos < inputSize) {
        unsigned char kind = classes[input[pos]];
        // Between tokens a CR is passed over whether a LF follows or not.
        if (kind != kSpace && kind != kLineFeed && kind != kReturn) break;
        ++pos;
    }
    position = pos;
    return pos;
}

void Tokenizer::resumeAt(int32_t pos) {
    position = pos < 0 ? 0 : pos > inputSize ? inputSize : pos;
    textLength = 0;
    pendingDelimiter = 0;
    tokenEnded = false;
    inBlockComment = false;
    inQuotes = false;
    atEnd = false;
    fastState = kFastPlain;
    blockStart = -64;
}

int Tokenizer::openFile(const char* path) { return open(gFileSystem->openRead(path)); }

void Tokenizer::close() {
    delete reader;
    reader = nullptr;
    input = nullptr;
    inputSize = 0;
    atEnd = true;
    fastState = kFastNone;
}

int Tokenizer::nextTokenGeneral() {
    // The scan state lives in locals while the loop runs: stores into text
    // would otherwise force the members to be reloaded after every byte.
    const unsigned char* in = input;
    const unsigned char* cls = classes;
    char* out = text;
    const int32_t end = inputSize;
    int32_t pos = position;
    int32_t length = textLength;
    int32_t zeroAt = -1;  // where a zero byte cuts the word as a C string
    int32_t pending = pendingDelimiter;
    bool comment = inBlockComment;
    bool quotes = inQuotes;
    int result;

    if (pending == 0 && !comment && !quotes && length == 0) {
        // The common case: separators, then a plain word ended by a separator.
        unsigned char c = 0;
        for (;;) {
            if (pos >= end) goto general;
            c = in[pos];
            unsigned char kind = cls[c];
            if (kind == kSpace || kind == kLineFeed) {
                ++pos;
            } else if (kind == kReturn) {
                // CR LF separates; a lone CR is dropped.
                pos += (pos + 1 < end && in[pos + 1] == '\n') ? 2 : 1;
            } else if (kind == kOrdinary) {
                break;
            } else {
                goto general;
            }
        }
        int32_t start = pos;
        int32_t stop = ordinaryRunEnd(pos + 1);
        int32_t n = stop - start;
        if (n <= 16 && end - start >= 16) {
            std::memcpy(out, in + start, 16);
        } else {
            if (n > kMaxWord) n = kMaxWord;
            std::memcpy(out, in + start, (size_t)n);
        }
        length = n;
        pos = stop;
        if (pos < end) {
            c = in[pos];
            unsigned char kind = cls[c];
            if (kind == kSpace || kind == kLineFeed) {
                ++pos;
                goto word;
            }
            if (kind == kDelimiter) {
                ++pos;
                pending = c;
                goto word;
            }
        }
        // Anything else after the word (a quote, a slash, a CR, a zero byte,
        // the end of input) takes the general path with the word so far.
    }

general:
    while (pos < end) {
        if (pending != 0) {
            out[0] = (char)pending;
            out[1] = '\0';
            tokenLength = 1;
            pending = 0;
            length = 0;
            result = Delimiter;
            goto deliver;
        }
        if (comment) {
            // Only "*/" ends it.
            for (;;) {
                const void* star = std::memchr(in + pos, '*', (size_t)(end - pos));
                if (!star) {
                    pos = end;
                    break;
                }
                pos = (int32_t)((const unsigned char*)star - in) + 1;
                if (pos < end && in[pos] == '/') {
                    ++pos;
                    comment = false;
                    break;
                }
            }
            continue;
        }
        if (quotes) {
            // Everything up to a double quote or an apostrophe belongs to the word.
            while (pos < end) {
                unsigned char c = in[pos++];
                if (c == '"' || c == '\'') {
                    quotes = false;
                    break;
                }
                if (length < kMaxWord) {
                    if (c == 0 && zeroAt < 0) zeroAt = length;
                    out[length++] = (char)c;
                }
            }
            if (!quotes && length > 0) goto word;
            continue;
        }
        {
            unsigned char c = in[pos++];
            switch (cls[c]) {
            case kOrdinary: {
                // A run of ordinary bytes at once; bytes past the word limit
                // are dropped.
                int32_t start = pos - 1;
                int32_t stop = ordinaryRunEnd(pos);
                int32_t n = stop - start;
                if (n <= 16 && length + 16 <= kMaxWord && end - start >= 16) {
                    std::memcpy(out + length, in + start, 16);
                    length += n;
                } else {
                    if (n > kMaxWord - length) n = kMaxWord - length;
                    std::memcpy(out + length, in + start, (size_t)n);
                    length += n;
                }
                pos = stop;
                continue;
            }
            case kZero:
                if (length < kMaxWord) {
                    if (zeroAt < 0) zeroAt = length;
                    out[length++] = (char)c;
                }
                continue;
            case kSpace:
                if (length > 0) goto word;
                continue;
            case kLineFeed:
                break;
            case kReturn:
                // Only a CR LF pair separates; a lone CR is dropped.
                if (pos < end && in[pos] == '\n') {
                    ++pos;
                    break;
                }
                continue;
            case kQuote:
                quotes = true;
                break;
            case kSlash:
                if (pos < end && in[pos] == '*') {
                    ++pos;
                    comment = true;
                    break;
                }
                if (pos < end && in[pos] == '/') {
                    const void* lineEnd = std::memchr(in + pos + 1, '\n', (size_t)(end - pos - 1));
                    pos = lineEnd ? (int32_t)((const unsigned char*)lineEnd - in) + 1 : end;
                    break;
                }
                if (length < kMaxWord) out[length++] = (char)c;
                continue;
            case kDelimiter:
                pending = c;
                break;
            }
            if (length > 0) goto word;
        }
    }
    // End of input: a word that no separator ended is not delivered.
    result = End;
    goto deliver;

word:
    out[length] = '\0';
    tokenLength = zeroAt >= 0 ? zeroAt : length;
    length = 0;
    result = Word;
deliver:
    position = pos;
    textLength = length;
    pendingDelimiter = pending;
    inBlockComment = comment;
    inQuotes = quotes;
    tokenEnded = result != End;
    atEnd = result == End;
    fastState = result == End || comment || quotes ? kFastNone : pending ? kFastDelimiter : kFastPlain;
    return result;
}

int32_t Tokenizer::lineNumber() const {
    // The token ends before the separator that ended it.
    int32_t end = position > 0 ? position - 1 : 0;
    if (atEnd) end = inputSize;
    int32_t line = 1;
    for (int32_t i = 0; i < end; ++i)
        if (input[i] == '\n') ++line;
    return line;
}
