#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct ConversionOutcome {
    bool read = false;              // the reader accepted the bytes
    int meshes = 0;
    std::string fault;  // empty when the outcome is one of the two clear ones
};

// The whole conversion without files, for the fuzz target and the tests alike (gLog and gAllocator up). Clears the
// Log, reads the bytes, writes the pack plain and welded into memory and loads both back. A refusal must leave an
// "ERROR: " line in the Log; each pack must hold one chunk per Mesh.
ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size);

// Everything one read of the bytes leaves behind: its result, the Log's lines, the allocation count and the plain
// pack of its meshes. The reader may spread the read over threads (threads 1: never; a tiny part size makes it
// spread even small inputs); the trace must not depend on how.
// partsTaken, when given, grows by the parts that workers read and the main thread took. lineScans off reads the
// mesh lists token by token.
std::string readingTrace(const unsigned char* bytes, size_t size, int threads, int minimumPartBytes,
                         int64_t* partsTaken = nullptr, bool lineScans = true);
