#pragma once
#include "ase/material.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "platform/array.h"
#include "platform/log.h"

// Logs the material table after every material list, as the reader does:
// "material[%d]: %s\n" per entry, "\tSubMat[%d]: %s\n" per direct
// submaterial. The whole table is logged each time, so a file of many lists
// over a large table would format the same lines over and over. The Log keeps
// only the text after its last wrap, and the lengths of the lines tell where
// the wraps fall, so lines that a wrap would drop are never formatted: the
// table after a list waits until something else is logged, and is dropped
// outright when the next list's table wraps the Log anyway. The Log ends up
// holding exactly the text that logging every line would leave.
class MaterialLog {
public:
    // Logs into log, which the read's context logs into too.
    explicit MaterialLog(Log& log) : log(log) {}
    ~MaterialLog();

    // Reads one material list (the token "*MATERIAL_LIST" has just been read)
    // into table, then logs the table. 0 when the list fails; its ERROR line
    // follows whatever was logged before it.
    int readList(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table);

    // Logs the table of the last list if that still waits. Call before
    // anything else is logged.
    void flush(const MaterialTable& table);

private:
    MaterialLog(const MaterialLog&) = delete;
    MaterialLog& operator=(const MaterialLog&) = delete;

    struct Wraps {
        int32_t used;       // the Log's used after the lines
        int32_t lastReset;  // the line whose message wraps the Log last, -1 for none
    };
    // False when memory ran out.
    bool measure(const MaterialTable& table);
    int32_t linesOf(int32_t entries) const { return firstLine[entries]; }
    Wraps simulate(int32_t used, int32_t lines) const;
    void print(const MaterialTable& table, int32_t from, int32_t to) const;
    void putBeforeLastMessage(const MaterialTable& table, const Log::Mark& before);

    Log& log;
    // Per table line, the bytes of all messages before it; one more at the end.
    Array<int64_t> lineStart;
    // Per entry, its first line; one more at the end.
    Array<int32_t> firstLine;
    int32_t waiting = -1;  // entries of the table that waits to be logged
    // The Log's used where the waiting table begins. Past a table that was
    // dropped, it is where that table would have ended.
    int32_t waitingStart = 0;
};
