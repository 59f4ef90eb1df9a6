#pragma once
// The whole conversion without files: bytes in, Scene, pack written plain and
// welded into memory. Shared by the fuzz target and the regression replay, so
// both hold every input to the same outcome rules. The caller has started the
// services (gAllocator, gLog).
#include <cstddef>
#include <cstdint>
#include <string>

struct ConversionOutcome {
    bool read = false;            // the reader accepted the bytes
    bool missingReference = false;  // the run would have ended on a missing *MATERIAL_REF
    int meshes = 0;
    std::string fault;  // empty when the outcome is one of the two clear ones
};

// Clears the Log, reads, writes both packs, checks them with the pack loader
// and frees the Scene. A refusal must leave an "ERROR: " line in the Log; an
// accepted file must give two packs that load with one chunk per Mesh.
ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size);
