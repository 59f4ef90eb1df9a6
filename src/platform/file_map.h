#pragma once
#include <cstdint>
#include <cstdio>

// Maps size bytes of an open file read-only, or returns null when the platform
// cannot; the caller then reads the file instead.
const unsigned char* mapFile(FILE* file, int32_t size);
void unmapFile(const unsigned char* contents, int32_t size);
