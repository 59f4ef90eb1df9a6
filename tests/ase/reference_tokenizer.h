#pragma once
// The token rules taken one byte at a time, with nothing clever in the way:
// the yardstick for the fast Tokenizer.
#include <cstdint>
#include <cstring>

class ReferenceTokenizer {
public:
    enum Result { End = 0, Word = 1, Delimiter = 2 };
    static const int32_t kMaxWord = 256;

    char text[kMaxWord + 1] = {};

    ReferenceTokenizer(const unsigned char* input, int32_t size, const char* delimiters)
        : input(input), size(size) {
        std::strncpy(set, delimiters, 32);  // only the first 32 count
    }

    int nextToken() {
        while (position < size) {
            bool ended = false;
            if (pending) {
                text[0] = (char)pending;
                text[1] = '\0';
                pending = 0;
                length = 0;
                return Delimiter;
            }
            unsigned char c = input[position++];
            bool more = position < size;
            if (inComment) {
                if (c == '*' && more && input[position] == '/') inComment = false, ++position;
                continue;
            }
            if (inQuotes) {
                if (c == '"' || c == '\'') inQuotes = false, ended = true;
                else add(c);
            } else if (c == '/' && more && input[position] == '*') {
                ++position, inComment = ended = true;
            } else if (c == '/' && more && input[position] == '/') {
                while (position < size && input[position++] != '\n') {
                }
                ended = true;
            } else if (c == '"' || c == '\'') {
                inQuotes = ended = true;
            } else if (c == ' ' || c == '\t') {
                ended = length > 0;
            } else if (c == '\r') {
                if (more && input[position] == '\n') ++position, ended = true;
            } else if (c == '\n') {
                ended = true;
            } else if (c != '/' && c != 0 && std::strchr(set, c)) {
                // A slash that opens no comment is an ordinary character.
                pending = c, ended = true;
            } else {
                add(c);
            }
            if (ended && length > 0) {
                text[length] = '\0';
                length = 0;
                return Word;
            }
        }
        return End;
    }

private:
    void add(unsigned char c) {
        if (length < kMaxWord) text[length++] = (char)c;
    }

    const unsigned char* input;
    int32_t size;
    int32_t position = 0;
    int32_t length = 0;
    int pending = 0;
    bool inComment = false;
    bool inQuotes = false;
    char set[33] = {};
};
