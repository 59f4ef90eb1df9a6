// Any bytes as an ASE file: packs that load, or a refusal with an ERROR line; the same whether read token by token
// on one thread or by lines on several.
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
    // Token by token on one thread, or lines at once and spread over threads with parts as small as they come,
    // the read must leave exactly the same.
    const std::string byTokens = readingTrace(data, size, 1, 1 << 30, nullptr, false);
    if (byTokens != readingTrace(data, size, 3, 1))
        std::fprintf(stderr, "conversion fault: reading by lines or on threads differs\n"), std::abort();
    return 0;
}
