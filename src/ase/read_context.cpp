#include "ase/read_context.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void ReadContext::print(const char* format, ...) {
    char buffer[Log::kMessageMax + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > Log::kMessageMax) n = Log::kMessageMax;
    if (std::strncmp(buffer, "ERROR: ", 7) == 0) {
        int length = n - 7;
        while (length > 0 && (buffer[7 + length - 1] == '\n' || buffer[7 + length - 1] == '\r')) --length;
        std::snprintf(lastError, sizeof lastError, "%.*s", length, buffer + 7);
    }
    if (record)
        record->add(buffer, n);
    else
        log->append(buffer, n);
}

void printWarnings(const char* path, const char* warnings, int32_t notKept) {
    for (const char* line = warnings; *line;) {
        const char* end = std::strchr(line, '\n');
        std::fprintf(stderr, "%s: warning: %.*s\n", path, (int)(end - line), line);
        line = end + 1;
    }
    if (notKept) std::fprintf(stderr, "%s: warning: and %d more warnings\n", path, notKept);
}

void ReadContext::exitOnMissingMaterialRef(ReadContext& context) {
    // Standard output stays as it always was: the reason goes to standard error,
    // after what was printed before it, and after what was noticed before it.
    std::fflush(stdout);
    printWarnings(context.fileName, context.warnings, context.warningsNotKept);
    std::fprintf(stderr, "%s:%d: error: geometry object \"%s\" has no *MATERIAL_REF\n", context.fileName,
                 context.missingRefLine, context.missingRefObject);
    std::exit(-1);
}

void ReadContext::noteMissingMaterialRef(ReadContext& context) { context.missingMaterialRefSeen = true; }

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
