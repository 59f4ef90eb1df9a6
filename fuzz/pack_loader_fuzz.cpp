// Any bytes: the loader refuses or accepts them without reading outside, and
// an accepted pack can be summarised and exported.
#include "platform/allocator.h"
#include "qrvinfo/json_summary.h"
#include "qrvinfo/obj_export.h"
#include "qrvinfo/pack_loader.h"
#include "qrvinfo/summary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static HeapAllocator heap;
    static FILE* sink = std::fopen("/dev/null", "wb");
    gAllocator = &heap;
    // An exact copy, so the sanitizer sees any read past the end.
    unsigned char* bytes = (unsigned char*)std::malloc(size ? size : 1);
    if (size) std::memcpy(bytes, data, size);
    Pack pack;
    PackError error;
    if (loadPack(bytes, (int64_t)size, pack, error)) {
        printSummary(sink, "fuzz", pack);
        printJsonSummary(sink, "fuzz", pack);
        writeObjTo(sink, sink, pack, "fuzz.mtl");
    } else if (!error.field[0] || !error.expected[0] || !error.found[0]) {
        std::abort();  // every refusal names its field
    }
    clearPack(pack);
    std::free(bytes);
    return 0;
}
