#pragma once
#include <cstdint>

// Reads a whole file into a block from the Allocator (free it with
// gAllocator->free). Null when the file cannot be opened or read whole, or
// when memory ran out (errno ENOMEM).
unsigned char* readWholeFile(const char* path, int32_t* size);
