#include "convert_in_memory.h"
#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "ase/object_lookahead.h"
#include "platform/log.h"
#include "qrvinfo/pack_loader.h"
#include "support/memory_streams.h"
#include "writer/buffered_writer.h"
#include "writer/qrv_writer.h"
#include <cstring>

static bool missingReference = false;

static std::string packFault(Mesh* head, int meshes, uint32_t options) {
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, head, options);
    Pack pack;
    PackError error;
    std::string fault = !out.flush() ? "a write failed"
                        : !loadPack(stream.bytes.data(), (int64_t)stream.bytes.size(), pack, error)
                            ? std::string(error.field) + ": expected " + error.expected + ", found " + error.found
                        : pack.meshes.count != meshes ? std::to_string(pack.meshes.count) + " chunks" : "";
    clearPack(pack);
    return fault.empty() ? "" : (options ? "welded pack: " : "plain pack: ") + fault;
}

ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size) {
    ConversionOutcome outcome;
    gLog->used = gLog->pending = gLog->lineCount = 0;
    void (*savedExit)(int) = gMissingMaterialRefExit;
    gMissingMaterialRefExit = [](int) { missingReference = true; };  // record instead of ending the process
    missingReference = false;
    Scene scene;
    outcome.read = AseReader().readScene(&scene, new BytesStream(bytes, size)) != 0;
    gMissingMaterialRefExit = savedExit;
    for (Mesh* mesh = scene.head; mesh; mesh = mesh->next) ++outcome.meshes;
    bool logged = false;
    for (int32_t i = 0; i < gLog->lineCount; ++i) logged |= std::strncmp(gLog->lines[i], "ERROR: ", 7) == 0;
    if (outcome.read && missingReference) outcome.fault = "read past a missing material reference";
    if (!outcome.read && !logged) outcome.fault = "refused without an ERROR line in the Log";
    if (outcome.read && outcome.fault.empty() && (outcome.fault = packFault(scene.head, outcome.meshes, 0)).empty())
        outcome.fault = packFault(scene.head, outcome.meshes, kOptionWeld);
    for (Mesh* next; scene.head; scene.head = next) {
        next = scene.head->next;
        delete scene.head;
    }
    return outcome;
}

std::string readingTrace(const unsigned char* bytes, size_t size, int threads, int minimumPartBytes) {
    gLog->used = gLog->pending = gLog->lineCount = 0;
    // The count saturates, so over a long fuzz run it would stop moving: each read counts from zero.
    HeapAllocator* heap = dynamic_cast<HeapAllocator*>(gAllocator);
    if (heap) heap->allocatedBytes = 0;
    const int32_t allocatedBefore = 0;
    void (*savedExit)(int) = gMissingMaterialRefExit;
    gMissingMaterialRefExit = [](int) { missingReference = true; };
    missingReference = false;
    const int32_t savedThreads = ObjectLookahead::threads, savedPart = ObjectLookahead::minimumPartBytes;
    ObjectLookahead::threads = threads;
    ObjectLookahead::minimumPartBytes = minimumPartBytes;
    Scene scene;
    const int read = AseReader().readScene(&scene, new BytesStream(bytes, size));
    ObjectLookahead::threads = savedThreads;
    ObjectLookahead::minimumPartBytes = savedPart;
    gMissingMaterialRefExit = savedExit;
    std::string trace = "read " + std::to_string(read) + (missingReference ? ", no material reference" : "") +
                        ", allocated " + std::to_string(heap ? heap->allocatedBytes - allocatedBefore : 0) + "\n";
    for (int32_t i = 0; i < gLog->lineCount; ++i)
        trace.append(gLog->lines[i], std::strcspn(gLog->lines[i], "\n")).push_back('\n');
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    writePackTo(out, scene.head, 0);
    out.flush();
    trace.append(stream.bytes.begin(), stream.bytes.end());
    for (Mesh* next; scene.head; scene.head = next) {
        next = scene.head->next;
        delete scene.head;
    }
    return trace;
}
