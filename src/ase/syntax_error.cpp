#include "ase/syntax_error.h"

#include "platform/log.h"

#include <cstdarg>
#include <cstdio>

int syntaxError(const Tokenizer& tokenizer, const char* format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    int32_t line = tokenizer.lineNumber();
    if (tokenizer.atEnd)
        gLog->print("ERROR: line %d: %s, at the end of the input\n", line, what);
    else
        gLog->print("ERROR: line %d: %s, found \"%.64s\"\n", line, what, tokenizer.text);
    return 0;
}

int parseError(const Tokenizer& tokenizer, const char* format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    gLog->print("ERROR: line %d: %s\n", tokenizer.lineNumber(), what);
    return 0;
}

int expectedAfter(const Tokenizer& tokenizer, const char* literal, const char* context) {
    return syntaxError(tokenizer, "expected \"%s\" after %s", literal, context);
}
