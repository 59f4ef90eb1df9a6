// Any bytes as an ASE file: packs that load, or a refusal with an ERROR line; the same whether read on one thread or several.
#include "convert_in_memory.h"
#include "platform/allocator.h"
#include "platform/log.h"
#include <cstdio>
#include <cstdlib>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static HeapAllocator heap;
    alignas(Log) static unsigned char logStorage[sizeof(Log)];  // never destroyed: that writes app.log
    if (!gLog) gAllocator = &heap, gLog = new (logStorage) Log();
    const std::string fault = convertInMemory(data, size).fault;
    if (!fault.empty()) std::fprintf(stderr, "conversion fault: %s\n", fault.c_str()), std::abort();
    // Spread over threads, with parts as small as they come, the read must leave exactly the same.
    if (readingTrace(data, size, 1, 1 << 30) != readingTrace(data, size, 3, 1))
        std::fprintf(stderr, "conversion fault: reading on threads differs\n"), std::abort();
    return 0;
}
