// Any bytes: the loader refuses them naming a field, or accepts them without reading outside; an accepted
// pack can be summarised and exported.
#include "platform/allocator.h"
#include "qrvinfo/json_summary.h"
#include "qrvinfo/obj_export.h"
#include "qrvinfo/pack_loader.h"
#include "qrvinfo/summary.h"
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static HeapAllocator heap;
    static FILE* sink = std::fopen("/dev/null", "wb");
    gAllocator = &heap;
    std::vector<unsigned char> bytes(data, data + size);  // exactly size bytes: overreads show
    Pack pack;
    PackError error;
    if (loadPack(bytes.data(), (int64_t)size, pack, error)) {
        printSummary(sink, "fuzz", pack);
        printJsonSummary(sink, "fuzz", pack);
        writeObjTo(sink, sink, pack, "fuzz.mtl");
    } else if (!error.field[0] || !error.expected[0] || !error.found[0]) {
        std::abort();
    }
    clearPack(pack);
    return 0;
}
