// Any bytes as an ASE file: packs that load, or a refusal with an ERROR line.
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
    return 0;
}
