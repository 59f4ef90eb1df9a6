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
      input(nullptr),
      inputSize(0) {
    std::memset(text, 0, sizeof text);
}

Tokenizer::~Tokenizer() { close(); }

void Tokenizer::setDelimiters(const char* characters) {
    delimiterCount = 0;
    while (characters[delimiterCount] && delimiterCount < kMaxDelimiters) {
        delimiters[delimiterCount] = characters[delimiterCount];
        ++delimiterCount;
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
    position = 0;
    textLength = 0;
    pendingDelimiter = 0;
    tokenEnded = false;
    inBlockComment = false;
    inQuotes = false;
    atEnd = false;
    return 1;
}

int Tokenizer::openFile(const char* path) { return open(gFileSystem->openRead(path)); }

void Tokenizer::close() {
    delete reader;
    reader = nullptr;
    input = nullptr;
    inputSize = 0;
    atEnd = true;
}

bool Tokenizer::isDelimiter(unsigned char c) const {
    for (int32_t i = 0; i < delimiterCount; ++i)
        if ((unsigned char)delimiters[i] == c) return true;
    return false;
}

int Tokenizer::nextToken() {
    const int32_t end = inputSize;
    atEnd = false;
    while (position < end) {
        tokenEnded = false;
        if (pendingDelimiter != 0) {
            text[0] = (char)pendingDelimiter;
            text[1] = '\0';
            pendingDelimiter = 0;
            textLength = 0;
            return Delimiter;
        }
        unsigned char c = input[position++];
        if (inBlockComment) {
            if (c == '*' && position < end && input[position] == '/') {
                inBlockComment = false;
                ++position;
            }
            continue;
        }
        if (inQuotes) {
            if (c == '"' || c == '\'') {
                inQuotes = false;
                tokenEnded = true;
            } else if (textLength < kMaxWord) {
                text[textLength++] = (char)c;
            }
        } else if (c == '/' && position < end && input[position] == '*') {
            ++position;
            inBlockComment = true;
            tokenEnded = true;
        } else if (c == '/' && position < end && input[position] == '/') {
            ++position;
            while (position < end && input[position++] != '\n') {
            }
            tokenEnded = true;
        } else if (c == '"' || c == '\'') {
            inQuotes = true;
            tokenEnded = true;
        } else if (c == ' ' || c == '\t') {
            if (textLength > 0) tokenEnded = true;
        } else if (c == '\r') {
            if (position < end && input[position] == '\n') {
                ++position;
                tokenEnded = true;
            }
        } else if (c == '\n') {
            tokenEnded = true;
        } else if (isDelimiter(c)) {
            pendingDelimiter = c;
            tokenEnded = true;
        } else if (textLength < kMaxWord) {
            text[textLength++] = (char)c;
        }
        if (tokenEnded && textLength > 0) {
            text[textLength] = '\0';
            textLength = 0;
            return Word;
        }
    }
    atEnd = true;
    return End;
}

int Tokenizer::expect(const char* literal) { return nextToken() != End && is(literal); }

bool Tokenizer::is(const char* keyword) const { return !atEnd && std::strcmp(text, keyword) == 0; }

int32_t Tokenizer::lineNumber() const {
    // The token ends before the separator that ended it.
    int32_t end = position > 0 ? position - 1 : 0;
    if (atEnd) end = inputSize;
    int32_t line = 1;
    for (int32_t i = 0; i < end; ++i)
        if (input[i] == '\n') ++line;
    return line;
}
