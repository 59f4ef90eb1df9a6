// Any bytes as an ASE file: the conversion ends in a pack that loads (plain
// and welded) or in a refusal with an ERROR line, never a crash, a hang or a
// memory blow-up. A missing material reference is recorded instead of ending
// the process.
#include "convert_in_memory.h"

#include "platform/allocator.h"
#include "platform/log.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
// Never destroyed: a Log's destruction writes app.log.
alignas(Log) unsigned char logStorage[sizeof(Log)];
HeapAllocator heap;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gAllocator = &heap;
    gLog = new (logStorage) Log();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    ConversionOutcome outcome = convertInMemory(data, size);
    if (!outcome.fault.empty()) {
        std::fprintf(stderr, "conversion fault: %s\n", outcome.fault.c_str());
        std::abort();
    }
    return 0;
}
