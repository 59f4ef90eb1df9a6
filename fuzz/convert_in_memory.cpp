#include "convert_in_memory.h"
#include "ase/ase_reader.h"
#include "platform/log.h"
#include "support/memory_streams.h"
#include "writer/pack_bytes.h"
#include <cstring>

static std::string packFault(Mesh* head, int meshes, uint32_t options) {
    Pack pack;
    PackError error;
    const std::string bytes = packBytes(head, options);  // the Pack points into it
    std::string fault = !loadBytes(bytes, pack, error)
                            ? std::string(error.field) + ": expected " + error.expected + ", found " + error.found
                        : pack.meshes.count != meshes ? std::to_string(pack.meshes.count) + " chunks" : "";
    clearPack(pack);
    return fault.empty() ? "" : (options ? "welded pack: " : "plain pack: ") + fault;
}

static void release(Scene& scene) {
    while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh;
}

ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size) {
    ConversionOutcome outcome;
    gLog->discard();
    AseReader reader;
    Scene scene;
    outcome.read = reader.readScene(&scene, new (std::nothrow) BytesStream(bytes, size)) != 0;
    for (Mesh* mesh = scene.head; mesh; mesh = mesh->next) ++outcome.meshes;
    bool logged = false;
    for (int32_t i = 0; i < gLog->lineTotal(); ++i) logged |= std::strncmp(gLog->line(i), "ERROR: ", 7) == 0;
    if (outcome.read && reader.missingMaterialRef) outcome.fault = "read past a missing material reference";
    if (!outcome.read && !logged) outcome.fault = "refused without an ERROR line in the Log";
    if (outcome.read && outcome.fault.empty() && (outcome.fault = packFault(scene.head, outcome.meshes, 0)).empty())
        outcome.fault = packFault(scene.head, outcome.meshes, kOptionWeld);
    release(scene);
    return outcome;
}

std::string readingTrace(const unsigned char* bytes, size_t size, int threads, int minimumPartBytes,
                         int64_t* partsTaken, bool lineScans) {
    gLog->discard();
    // The count saturates, so over a long fuzz run it would stop moving: each read counts from zero.
    HeapAllocator* heap = dynamic_cast<HeapAllocator*>(gAllocator);
    if (heap) heap->allocatedBytes = 0;
    AseReader reader;
    reader.options = {threads, minimumPartBytes, lineScans};
    Scene scene;
    const int read = reader.readScene(&scene, new (std::nothrow) BytesStream(bytes, size));
    if (partsTaken) *partsTaken += reader.partsTaken;
    std::string trace = "read " + std::to_string(read) + (reader.missingMaterialRef ? ", no material reference" : "") +
                        ", allocated " + std::to_string(heap ? heap->allocatedBytes : 0) + "\n";
    for (int32_t i = 0; i < gLog->lineTotal(); ++i)
        trace.append(gLog->line(i), std::strcspn(gLog->line(i), "\n")).push_back('\n');
    trace += packBytes(scene.head);
    release(scene);
    return trace;
}
