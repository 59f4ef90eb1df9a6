#pragma once
#include <cstdint>
#include <cstdio>

// Maps size bytes of an open file read-only, or returns null when the platform
// cannot; the caller then reads the file instead.
const unsigned char* mapFile(FILE* file, int32_t size);
void unmapFile(const unsigned char* contents, int32_t size);

// Brings [from, from + n) of the live mapping into memory in one go, where
// the system can: faulting it in page by page as it is read costs more.
// Threads that read apart populate their own parts side by side. Anything
// outside the live mapping is left alone.
void populateMapped(const unsigned char* from, int64_t n);

// Whether the file of the live mapping shrank while it was mapped: a read
// past its new end then finds zero pages mapped in place of the lost ones,
// so readers go on to their normal end and ask here when they finish. Only a
// fault inside the live mapping is taken so; any other keeps its usual effect.
bool mappedFileShrank();
