#pragma once
#include "qrvinfo/pack.h"

#include <cstdint>

// Why a pack was refused: the byte offset of the offending field (-1 when it
// concerns the file as a whole), the field, and what was expected and found.
struct PackError {
    int64_t offset;
    char field[128];
    char expected[160];
    char found[160];
};

// Loads a pack from the tail, as the engine does: end mark, chunk count,
// offset table, then each chunk, checking every field against the format and
// against what the writer guarantees. 1 with pack filled when the bytes are a
// valid pack; 0 with error filled otherwise (outOfMemoryError when memory ran
// out). Never reads outside the bytes.
int loadPack(const unsigned char* bytes, int64_t size, Pack& pack, PackError& error);

// The refusal when memory ran out while loading or showing a pack.
PackError outOfMemoryError();

// Empties pack's arrays.
void clearPack(Pack& pack);
