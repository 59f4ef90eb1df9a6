#pragma once
#include "platform/allocator.h"
#include "platform/log.h"
#include "platform/log_record.h"

// Why a read failed: the text of its "ERROR: " line in the Log, without that
// prefix, and the input line it names (0 when it names none).
struct ReadError {
    int32_t line = 0;
    char message[256] = {};
};

// What the parsers of one read need besides the tokens, handed down to each
// of them: where messages go, what counts allocations, why the read failed,
// and the input's name. The main
// thread's context logs and counts into the services; a read-ahead worker's
// keeps its messages and its count apart until its work is taken.
struct ReadContext {
    Log* log = gLog;
    // When set, messages are kept here whole instead of going to log.
    LogRecord* record = nullptr;
    // Counts what tryAlloc hands out for the read's own records (the meshes);
    // storage that grows goes through gAllocator's uncounted tryRealloc.
    Allocator* allocator = gAllocator;
    const char* fileName = "";

    // Sticky: memory ran out. Every parser returns failure from then on.
    bool outOfMemory = false;
    // The last failure logged (see fail).
    ReadError error;
    // A geometry object had no *MATERIAL_REF: the object failed, and with it
    // the read; error names the object and the line of its *GEOMOBJECT.
    bool missingMaterialRef = false;
    // See ReadOptions::wrapMaterialIds.
    bool wrapMaterialIds = false;
    // The first token was not *3DSMAX_ASCIIEXPORT (nor was there any).
    bool headerMissing = false;

    // Warnings for standard error, in reading order: one line each, "TEXT\n".
    // Past the room here they are only counted.
    static const int kWarningRoom = 4096;
    char warnings[kWarningRoom] = {};
    int32_t warningsUsed = 0;
    int32_t warningsNotKept = 0;
    void warn(const char* format, ...)
        __attribute__((format(printf, 2, 3)))
        ;
    // Adds another context's warnings after these (a worker's, when taken).
    void takeWarnings(const ReadContext& other);

    // printf-style, as Log::print.
    void print(const char* format, ...)
        __attribute__((format(printf, 2, 3)))
        ;

    // Logs "ERROR: line N: TEXT" ("ERROR: TEXT" for line 0) and keeps line
    // and TEXT in error. Returns 0, for the parser to return.
    int fail(int32_t line, const char* format, ...)
        __attribute__((format(printf, 3, 4)))
        ;

    // Notes that memory ran out; returns 0 for the parser to return.
    int ranOutOfMemory() {
        outOfMemory = true;
        return 0;
    }
};
