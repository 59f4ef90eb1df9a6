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

// Runs work(context) and returns 1 with its result in *result, or returns 0
// when a read of mapped file bytes faulted because the file shrank while it
// was mapped. Only a fault inside a live mapping is caught; any other fault
// keeps its usual effect.
int runGuardedAgainstFileShrink(int (*work)(void*), void* context, int* result);
