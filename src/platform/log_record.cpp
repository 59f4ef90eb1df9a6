#include "platform/log_record.h"

#include "platform/log.h"

#include <cstdlib>
#include <cstring>

LogRecord::~LogRecord() { clear(); }

void LogRecord::add(const char* characters, int32_t n) {
    if (lost || n <= 0) return;
    int64_t needed = size + (int64_t)sizeof n + n;
    if (needed > capacity) {
        int64_t grown = needed + needed / 2 + 4096;
        char* moved = (char*)std::realloc(bytes, (size_t)grown);
        if (!moved) {
            lost = true;
            return;
        }
        bytes = moved;
        capacity = grown;
    }
    std::memcpy(bytes + size, &n, sizeof n);
    std::memcpy(bytes + size + sizeof n, characters, (size_t)n);
    size = needed;
}

void LogRecord::replayInto(Log& log) const {
    for (int64_t at = 0; at < size;) {
        int32_t n;
        std::memcpy(&n, bytes + at, sizeof n);
        log.append(bytes + at + sizeof n, n);
        at += (int64_t)sizeof n + n;
    }
}

void LogRecord::clear() {
    std::free(bytes);
    bytes = nullptr;
    size = capacity = 0;
    lost = false;
}
