#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// read: the reader accepted the bytes; fault: empty when the outcome is one of the two clear ones.
struct ConversionOutcome { bool read = false; int meshes = 0; std::string fault; };

// The whole conversion without files (gLog and gAllocator up): reads the bytes, writes the pack plain and welded
// into memory and loads both back. A refusal must leave an "ERROR: " line in the Log; a pack, a chunk per Mesh.
ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size);

// What one read leaves: its result, the Log's lines, the allocation count and the plain pack. threads 1 never
// spreads the read; a tiny part size spreads even small inputs. partsTaken, when given, grows by the parts workers
// read and the main thread took; lineScans off reads the mesh lists token by token.
std::string readingTrace(const unsigned char* bytes, size_t size, int threads, int minimumPartBytes,
                         int64_t* partsTaken = nullptr, bool lineScans = true);
