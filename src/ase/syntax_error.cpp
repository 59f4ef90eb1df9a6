#include "ase/syntax_error.h"

#include <cstdarg>
#include <cstdio>

// One failure on the current line; with the token found there when withToken.
static int logError(ReadContext& context, const Tokenizer& tokenizer, bool withToken, const char* format,
                    va_list args) {
    char what[512];
    std::vsnprintf(what, sizeof what, format, args);
    const int32_t line = tokenizer.lineNumber();
    if (!withToken) return context.fail(line, "%s", what);
    if (tokenizer.atEnd()) return context.fail(line, "%s, at the end of the input", what);
    return context.fail(line, "%s, found \"%.64s\"", what, tokenizer.text());
}

int syntaxError(ReadContext& context, const Tokenizer& tokenizer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logError(context, tokenizer, true, format, args);
    va_end(args);
    return 0;
}

int parseError(ReadContext& context, const Tokenizer& tokenizer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logError(context, tokenizer, false, format, args);
    va_end(args);
    return 0;
}

int expectedAfter(ReadContext& context, const Tokenizer& tokenizer, const char* literal, const char* after) {
    return syntaxError(context, tokenizer, "expected \"%s\" after %s", literal, after);
}

void warnUnclosed(ReadContext& context, const Tokenizer& tokenizer, const char* keyword, int32_t offset) {
    // A '}' that is the input's last byte closes the block for the user, but
    // no separator ends it, so the tokenizer never delivers it.
    const int32_t end = tokenizer.inputEnd();
    if (end > 0 && tokenizer.inputBytes()[end - 1] == '}') return;
    context.warn("the input ends inside %s opened on line %d", keyword, tokenizer.lineAt(offset > 0 ? offset - 1 : 0));
}
