#pragma once
#include <cstdint>

struct LogRecord;

// In-memory message journal, written to "app.log" when the process ends.
// Text goes into a fixed 64 KiB area; only the line table grows.
class Log {
public:
    static const int32_t kTextSize = 65536;
    static const int32_t kMessageMax = 4095;
    static const int32_t kLineGrowth = 1024;

    Log();
    ~Log();

    // printf-style; returns the new value of used. Messages longer than
    // kMessageMax characters are cut.
    int32_t print(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Appends n characters as one message.
    int32_t append(const char* characters, int32_t n);

    // Drops everything recorded so far, as a message that no longer fits does.
    void discard();

    // Writes the complete lines, each cut to kMessageMax characters.
    void writeFile(const char* path) const;

    // While set, messages go here whole instead of into text.
    LogRecord* record = nullptr;
    int32_t used;
    int32_t pending;
    int32_t lineCount;
    int32_t lineCapacity;
    char** lines;
    char text[kTextSize];

private:
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
};

// Per thread: a worker thread records its messages until the main thread
// replays them in reading order.
extern thread_local Log* gLog;
