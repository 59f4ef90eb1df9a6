#include "convert_in_memory.h"

#include "ase/ase_reader.h"
#include "ase/geom_object.h"
#include "platform/log.h"
#include "support/memory_streams.h"
#include "qrvinfo/pack_loader.h"
#include "writer/buffered_writer.h"
#include "writer/qrv_writer.h"

#include <cstring>
#include <vector>

namespace {

bool missingReferenceSeen = false;
void recordMissingReference(int) { missingReferenceSeen = true; }

bool logHasError() {
    for (int32_t i = 0; i < gLog->lineCount; ++i)
        if (std::strncmp(gLog->lines[i], "ERROR: ", 7) == 0) return true;
    return false;
}

// "" when the pack loads and holds one chunk per Mesh.
std::string checkPack(Mesh* head, int meshes, uint32_t options) {
    MemoryWriteStream stream;
    {
        BufferedWriter out(&stream);
        writePackTo(out, head, options);
        if (!out.flush()) return "the memory stream refused a write";
    }
    Pack pack;
    PackError error;
    std::string problem;
    if (!loadPack(stream.bytes.data(), (int64_t)stream.bytes.size(), pack, error))
        problem = std::string("pack refused at byte ") + std::to_string(error.offset) + ": " +
                  error.field + ": expected " + error.expected + ", found " + error.found;
    else if (pack.meshes.count != meshes)
        problem = "pack holds " + std::to_string(pack.meshes.count) + " chunks for " +
                  std::to_string(meshes) + " meshes";
    clearPack(pack);
    return problem.empty() ? "" : (options ? "welded " : "plain ") + problem;
}

}  // namespace

ConversionOutcome convertInMemory(const unsigned char* bytes, size_t size) {
    ConversionOutcome outcome;
    gLog->used = 0;
    gLog->pending = 0;
    gLog->lineCount = 0;
    if (size > (size_t)INT32_MAX) {
        outcome.fault = "input too large for this harness";
        return outcome;
    }
    void (*savedExit)(int) = gMissingMaterialRefExit;
    gMissingMaterialRefExit = recordMissingReference;
    missingReferenceSeen = false;

    Scene scene;
    AseReader reader;
    outcome.read = reader.readScene(&scene, new BytesStream(bytes, size)) != 0;
    outcome.missingReference = missingReferenceSeen;
    for (Mesh* mesh = scene.head; mesh; mesh = mesh->next) ++outcome.meshes;

    if (outcome.read && outcome.missingReference) {
        outcome.fault = "read succeeded past a missing material reference";
    } else if (!outcome.read && !logHasError()) {
        outcome.fault = "refused without an ERROR line in the Log";
    } else if (outcome.read) {
        outcome.fault = checkPack(scene.head, outcome.meshes, 0);
        // Welding lower-cases names again, which changes nothing the second time.
        if (outcome.fault.empty()) outcome.fault = checkPack(scene.head, outcome.meshes, kOptionWeld);
    }

    while (Mesh* mesh = scene.head) {
        scene.head = mesh->next;
        delete mesh;
    }
    gMissingMaterialRefExit = savedExit;
    return outcome;
}
