#pragma once
#include "ase/read_context.h"
#include "ase/tokenizer.h"

// Fails the read (ReadContext::fail) on the current line, naming the token
// found there: "<what>, found "<token>"" or "..., at the end of the input".
// Returns 0, so a parser can return its result.
int syntaxError(ReadContext& context, const Tokenizer& tokenizer, const char* format, ...)
    __attribute__((format(printf, 3, 4)))
    ;

// Fails the read on the current line for a fault that no single token shows.
int parseError(ReadContext& context, const Tokenizer& tokenizer, const char* format, ...)
    __attribute__((format(printf, 3, 4)))
    ;

// Logs that literal was expected after what came before; returns 0.
int expectedAfter(ReadContext& context, const Tokenizer& tokenizer, const char* literal, const char* after);

// The next token must be literal; logs a syntax error naming what came
// before otherwise. 1 on success.
inline int expectAfter(ReadContext& context, Tokenizer& tokenizer, const char* literal, const char* after) {
    return tokenizer.expect(literal) ? 1 : expectedAfter(context, tokenizer, literal, after);
}

// The input ended inside a block, which the reader takes as closed there: a
// warning that names the block and the line it opened on (offset: where its
// keyword ended).
void warnUnclosed(ReadContext& context, const Tokenizer& tokenizer, const char* keyword, int32_t offset);
