#pragma once
#include <cstdint>

// In-memory message journal, written to "app.log" when the process ends.
// Text goes into a fixed 64 KiB area; only the line table grows.
class Log {
public:
    static const int32_t kTextSize = 65536;
    static const int32_t kMessageMax = 4095;
    static const int32_t kLineGrowth = 1024;

    Log();
    // finish, as the process's last step for its Log.
    ~Log();

    // printf-style; returns the new value of used. Messages longer than
    // kMessageMax characters are cut.
    int32_t print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Appends n characters as one message.
    int32_t append(const char* characters, int32_t n);

    // Drops everything recorded so far, as a message that no longer fits does.
    void discard();

    // Writes the complete lines, each cut to kMessageMax characters.
    void writeFile(const char* path) const;
    // Writes "app.log" and releases the line table; the Log stays usable, as
    // an empty one, should anything print after this.
    void finish();

    // Where the Log stands; rewind goes back there.
    struct Mark {
        int32_t used;     // bytes of text in use
        int32_t pending;  // minus the length of the unfinished line
        int32_t lineCount;
    };
    Mark mark() const { return Mark{used, pending, lineCount}; }
    // Drops what was appended since mark, when no wrap came in between.
    void rewind(const Mark& mark);
    // The text held from offset on, up to used.
    const char* textAt(int32_t offset) const { return text + offset; }

    int32_t lineTotal() const { return lineCount; }
    // Slots of the line table, which grows kLineGrowth at a time.
    int32_t lineSlots() const { return lineCapacity; }
    // Complete line i, ended by its '\n'.
    const char* line(int32_t i) const { return lines[i]; }

private:
    int32_t used;
    int32_t pending;
    int32_t lineCount;
    int32_t lineCapacity;
    char** lines;
    char text[kTextSize];

    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
};

extern Log* gLog;
