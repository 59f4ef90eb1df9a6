#pragma once
#include "platform/allocator.h"
#include "platform/log.h"
#include "platform/log_record.h"

// What the parsers of one read need besides the tokens, handed down to each
// of them: where messages go, what counts allocations, what a geometry
// object without a material reference does, and the input's name. The main
// thread's context logs and counts into the services; a read-ahead worker's
// keeps its messages and its count apart until its work is taken.
struct ReadContext {
    Log* log = gLog;
    // When set, messages are kept here whole instead of going to log.
    LogRecord* record = nullptr;
    // Counts what alloc hands out for the read's own records (the meshes);
    // storage that grows goes through gAllocator's uncounted realloc.
    Allocator* allocator = gAllocator;
    const char* fileName = "";
    // Called when a geometry object has no *MATERIAL_REF. The run's hook
    // logs nothing more and ends the process with -1 (the exit steps still
    // write app.log); should a hook return, the object fails.
    void (*missingMaterialRef)(ReadContext& context) = exitOnMissingMaterialRef;

    // Sticky: memory ran out. Every parser returns failure from then on.
    bool outOfMemory = false;
    // A hook returned on a missing *MATERIAL_REF (a worker's hook does).
    bool missingMaterialRefSeen = false;
    // Which object lacked it, for the message: its name (null for none given)
    // and the line of its *GEOMOBJECT.
    char missingRefObject[64] = {};
    int32_t missingRefLine = 0;
    // The last "ERROR: " message printed, without that prefix and its line
    // end: why the read failed, for standard error.
    char lastError[256] = {};
    // The first token was not *3DSMAX_ASCIIEXPORT (nor was there any).
    bool headerMissing = false;

    // Warnings for standard error, in reading order: one line each, "TEXT\n".
    // Past the room here they are only counted.
    static const int kWarningRoom = 4096;
    char warnings[kWarningRoom] = {};
    int32_t warningsUsed = 0;
    int32_t warningsNotKept = 0;
    void warn(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Adds another context's warnings after these (a worker's, when taken).
    void takeWarnings(const ReadContext& other);

    // printf-style, as Log::print.
    void print(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Notes that memory ran out; returns 0 for the parser to return.
    int ranOutOfMemory() {
        outOfMemory = true;
        return 0;
    }

    static void exitOnMissingMaterialRef(ReadContext& context);
    // Notes the event and returns, so that the object fails.
    static void noteMissingMaterialRef(ReadContext& context);
};

// Writes warnings kept as ReadContext keeps them to standard error, one
// "PATH: warning: TEXT" line each.
void printWarnings(const char* path, const char* warnings, int32_t notKept);
