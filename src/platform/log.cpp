#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Log* gLog = nullptr;

Log::Log() : used(0), pending(0), lineCount(0), lineCapacity(0), lines(nullptr) {}

Log::~Log() { finish(); }

void Log::finish() {
    writeFile("app.log");
    std::free(lines);
    lines = nullptr;
    lineCount = 0;
    lineCapacity = 0;
}

int32_t Log::print(const char* format, ...) {
    char buffer[kMessageMax + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return used;
    if (n > kMessageMax) n = kMessageMax;
    return append(buffer, n);
}

int32_t Log::append(const char* characters, int32_t n) {
    if (n <= 0) return used;
    if (n > kMessageMax) n = kMessageMax;
    if (used + n > kTextSize) discard();
    std::memcpy(text + used, characters, (size_t)n);
    int32_t lineStart = used + pending;
    int32_t end = used + n;
    for (int32_t i = used; i < end; ++i) {
        if (text[i] != '\n') continue;
        if (lineCount >= lineCapacity) {
            // The line table lives outside the counted allocator. Should it
            // fail to grow, the line is left out rather than ending the run.
            int32_t capacity = lineCapacity + kLineGrowth;
            char** grown = (char**)std::realloc(lines, sizeof(char*) * (size_t)capacity);
            if (grown) {
                lines = grown;
                lineCapacity = capacity;
            }
        }
        if (lineCount < lineCapacity) lines[lineCount++] = text + lineStart;
        lineStart = i + 1;
    }
    pending = lineStart - end;
    used = end;
    return used;
}

void Log::rewind(const Mark& mark) {
    used = mark.used;
    pending = mark.pending;
    lineCount = mark.lineCount;
}

void Log::discard() {
    used = 0;
    lineCount = 0;
    pending = 0;
}

void Log::writeFile(const char* path) const {
    FILE* file = std::fopen(path, "w");
    if (!file) return;
    char buffer[kMessageMax + 1];
    const char* textEnd = text + kTextSize;
    for (int32_t i = 0; i < lineCount; ++i) {
        const char* line = lines[i];
        int32_t length = 0;
        while (line + length < textEnd && length < kMessageMax && line[length] != '\n' &&
               line[length] != '\0')
            ++length;
        std::memcpy(buffer, line, (size_t)length);
        buffer[length] = '\0';
        std::fprintf(file, "%s\n", buffer);
    }
    std::fclose(file);
}
