#include "support/test_support.h"

#include "platform/log.h"
#include "platform/services.h"

void ensureServices() {
    static bool started = false;
    if (!started) {
        startServices();
        started = true;
    }
}

void resetLog() {
    ensureServices();
    gLog->used = 0;
    gLog->pending = 0;
    gLog->lineCount = 0;
}

std::string logText() {
    std::string result;
    for (int i = 0; i < gLog->lineCount; ++i) {
        const char* line = gLog->lines[i];
        const char* end = line;
        while (*end != '\n') ++end;
        result.append(line, end);
        result += '\n';
    }
    return result;
}
