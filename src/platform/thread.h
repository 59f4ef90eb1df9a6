#pragma once
#include <cstdint>

// A thread that runs one function to its end; the starter joins it.
struct Thread {
    void* handle = nullptr;
    int (*work)(void*) = nullptr;
    void* context = nullptr;
    int result = 0;
};

// 1 when the thread runs; 0 when the system refused one (the caller then
// does the work itself).
int startThread(Thread& thread, int (*work)(void*), void* context);
// Waits for the thread to end; returns what work returned.
int joinThread(Thread& thread);

// Processors this process may run on, at least 1.
int32_t availableProcessors();
