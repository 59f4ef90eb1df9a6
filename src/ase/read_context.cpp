#include "ase/read_context.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void ReadContext::print(const char* format, ...) {
    char buffer[Log::kMessageMax + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > Log::kMessageMax) n = Log::kMessageMax;
    if (record)
        record->add(buffer, n);
    else
        log->append(buffer, n);
}

int ReadContext::fail(int32_t line, const char* format, ...) {
    char text[Log::kMessageMax + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    error.line = line;
    std::snprintf(error.message, sizeof error.message, "%.*s", (int)sizeof error.message - 1, text);
    if (line > 0)
        print("ERROR: line %d: %s\n", line, text);
    else
        print("ERROR: %s\n", text);
    return 0;
}

void ReadContext::warn(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > (int)sizeof line - 2) n = (int)sizeof line - 2;
    line[n++] = '\n';
    if (warningsUsed + n >= kWarningRoom) {
        ++warningsNotKept;
        return;
    }
    std::memcpy(warnings + warningsUsed, line, (size_t)n);
    warningsUsed += n;
}

void ReadContext::takeWarnings(const ReadContext& other) {
    const int32_t n = other.warningsUsed;
    if (warningsUsed + n < kWarningRoom) {
        std::memcpy(warnings + warningsUsed, other.warnings, (size_t)n);
        warningsUsed += n;
    } else {
        for (int32_t i = 0; i < n; ++i) warningsNotKept += other.warnings[i] == '\n';
    }
    warningsNotKept += other.warningsNotKept;
}
