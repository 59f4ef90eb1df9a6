#pragma once
#include <cstdint>

class Log;

// Messages kept whole and in order, so that a Log can take them later exactly
// as if they had been printed to it there and then (its wraps fall by message).
// The bytes live outside the counted allocator, as the Log's own do.
struct LogRecord {
    char* bytes = nullptr;
    int64_t size = 0;
    int64_t capacity = 0;
    // A message could not be kept: the record is incomplete.
    bool lost = false;

    LogRecord() = default;
    ~LogRecord();
    LogRecord(const LogRecord&) = delete;
    LogRecord& operator=(const LogRecord&) = delete;

    void add(const char* characters, int32_t n);
    void replayInto(Log& log) const;
    void clear();
};
