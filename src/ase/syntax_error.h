#pragma once
#include "ase/tokenizer.h"

// Logs why the input cannot be read, with the line and the token found there:
// "ERROR: line N: <what>, found "<token>"" or "..., at the end of the input".
// Returns 0, so a parser can return its result.
int syntaxError(const Tokenizer& tokenizer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Logs "ERROR: line N: <what>" for a fault that no single token shows.
int parseError(const Tokenizer& tokenizer, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Logs that literal was expected after context; returns 0.
int expectedAfter(const Tokenizer& tokenizer, const char* literal, const char* context);

// The next token must be literal; logs a syntax error naming context
// otherwise. 1 on success.
inline int expectAfter(Tokenizer& tokenizer, const char* literal, const char* context) {
    return tokenizer.expect(literal) ? 1 : expectedAfter(tokenizer, literal, context);
}
