#include "ase/syntax_error.h"

#include "platform/log.h"

#include <cstdarg>
#include <cstdio>

// One "ERROR: line N: ..." line; with the token found there when withToken.
static int logError(const Tokenizer& tokenizer, bool withToken, const char* format, va_list args) {
    char what[512];
    std::vsnprintf(what, sizeof what, format, args);
    int32_t line = tokenizer.lineNumber();
    if (!withToken)
        gLog->print("ERROR: line %d: %s\n", line, what);
    else if (tokenizer.atEnd())
        gLog->print("ERROR: line %d: %s, at the end of the input\n", line, what);
    else
        gLog->print("ERROR: line %d: %s, found \"%.64s\"\n", line, what, tokenizer.text());
    return 0;
}

int syntaxError(const Tokenizer& tokenizer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logError(tokenizer, true, format, args);
    va_end(args);
    return 0;
}

int parseError(const Tokenizer& tokenizer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logError(tokenizer, false, format, args);
    va_end(args);
    return 0;
}

int expectedAfter(const Tokenizer& tokenizer, const char* literal, const char* context) {
    return syntaxError(tokenizer, "expected \"%s\" after %s", literal, context);
}
