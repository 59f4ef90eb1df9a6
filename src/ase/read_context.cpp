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

void ReadContext::exitOnMissingMaterialRef(ReadContext& context) {
    // Standard output stays as it always was: the reason goes to standard error,
    // after what was printed before it.
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: error: geometry object \"%s\" has no *MATERIAL_REF\n", context.fileName,
                 context.missingRefLine, context.missingRefObject);
    std::exit(-1);
}

void ReadContext::noteMissingMaterialRef(ReadContext& context) { context.missingMaterialRefSeen = true; }
