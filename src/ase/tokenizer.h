#pragma once
#include "ase/memory_read_stream.h"

#include <cstdint>

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
    int nextToken();
    // Consumes the next token; 1 when its text is literal.
    int expect(const char* literal);
    void close();

    // True when the current token's text is keyword (exact, whole token).
    // After the end of input there is no current token.
    bool is(const char* keyword) const;

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

private:
    Tokenizer(const Tokenizer&) = delete;
    Tokenizer& operator=(const Tokenizer&) = delete;

    bool isDelimiter(unsigned char c) const;

    const unsigned char* input;
    int32_t inputSize;
};
