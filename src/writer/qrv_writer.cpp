#include "writer/qrv_writer.h"

#include "platform/file_stream.h"
#include "platform/filesystem.h"
#include "platform/log.h"
#include "platform/replacing_file.h"
#include "qrv/format.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

#include <cerrno>
#include <cstring>

const char* lightmapSuffix = "_L_0000";

String outputPathFor(const char* inputPath) {
    String path;
    if (!path.tryAssign(inputPath, String::extensionStart(inputPath, (int32_t)std::strlen(inputPath))) ||
        !path.tryAppend(".qrv"))
        path.release();
    return path;
}

static void writeName(BufferedWriter& out, const String& name) {
    // The terminator counts; no name has no bytes at all.
    const int32_t bytes = name.data ? name.length() + 1 : 0;
    out.putU32((uint32_t)bytes);
    if (bytes > 0) out.put(name.data, bytes);
}

static void writeTextureSlot(BufferedWriter& out, const String& name) {
    writeName(out, name);
    for (float value : kSlotParameters) out.putF32(value);
}

static void lowerCase(String& name) {
    for (int32_t i = 0; i < name.length(); ++i)
        if (name.data[i] >= 'A' && name.data[i] <= 'Z') name.data[i] = (char)(name.data[i] - 'A' + 'a');
}

void writeMeshChunk(BufferedWriter& out, Mesh& mesh, uint32_t options, Welder& welder) {
    out.putU32(kChunkMagic);
    const bool twoSets = mesh.mapChannels[1].count > 0;
    lowerCase(mesh.name);
    writeName(out, mesh.name);
    for (float value : kIdentityTransform) out.putF32(value);
    out.putU32(twoSets ? 2u : 1u);
    if (options & kOptionWeld)
        writeWeldedVertexStream(mesh, out, twoSets, welder);
    else
        writePlainVertexStream(mesh, out, twoSets);
    if (out.outOfMemory()) return;
    gLog->print("MESH: %s\n", mesh.name.printable());

    out.putU32((uint32_t)mesh.subsets.count);
    String empty, lightmap;
    if (twoSets && !(lightmap.tryAssign(mesh.name) && lightmap.tryAppend(lightmapSuffix)))
        return out.ranOutOfMemory();
    for (int32_t i = 0; i < mesh.subsets.count; ++i) {
        const MeshSubset& subset = mesh.subsets[i];
        out.putU16((uint16_t)subset.firstIndex);
        out.putU16((uint16_t)subset.triangleCount);
        const String& diffuse = subset.textureName;
        gLog->print("\t[%d]: %s (%s) [%d %d]\n", i, diffuse.printable(), lightmap.printable(),
                    subset.firstIndex, subset.triangleCount);
        const String* slots[kTextureSlots] = {&diffuse, &lightmap, &empty, &empty};
        for (const String* name : slots) writeTextureSlot(out, *name);
    }
}

void writePackTo(BufferedWriter& out, Mesh* head, uint32_t options) {
    // Offsets past 4 GiB cannot be stored; writePack refuses such a file.
    Array<uint32_t> offsets;
    Welder welder;  // its storage serves every mesh of the pack
    for (Mesh* mesh = head; mesh && !out.outOfMemory(); mesh = mesh->next) {
        if (offsets.tryPush((uint32_t)out.position()) < 0) return out.ranOutOfMemory();
        writeMeshChunk(out, *mesh, options, welder);
    }
    for (int32_t i = 0; i < offsets.count; ++i) out.putU32(offsets[i]);
    out.putU32((uint32_t)offsets.count);
    out.putU32(kEndMark);
    offsets.release();
}

int writePack(const char* inputPath, Mesh* head, uint32_t options, int* reason, const char* output) {
    int unused = 0;
    int& error = reason ? *reason : unused;
    String outputPath = output ? String() : outputPathFor(inputPath);
    if (output && !outputPath.tryAssign(output)) outputPath.release();
    if (!outputPath.data) return error = ENOMEM, 0;
    if (gFileSystem->sameFile(outputPath.data, inputPath)) {
        gLog->print("ERROR: the output \"%s\" is the input file\n", outputPath.data);
        error = EEXIST;
        return 0;
    }
    ReplacingFile file;
    if (!file.open(outputPath.data)) {
        if (file.error == ENOMEM) return error = ENOMEM, 0;
        gLog->print("ERROR: could not create a file beside \"%s\"\n", outputPath.data);
        error = file.error;
        return 0;
    }
    // Made singly, so counted in the allocated figure as every output stream is.
    FileWriteStream* stream = new (std::nothrow) FileWriteStream(file.file(), false);
    if (!stream) return error = ENOMEM, 0;
    stream->replacing = &file;
    bool written, memoryRanOut;
    {
        BufferedWriter out(stream);
        if (!out.outOfMemory()) writePackTo(out, head, options);
        // Offsets past 4 GiB cannot be stored.
        written = out.flush() && out.position() <= (int64_t)UINT32_MAX;
        memoryRanOut = out.outOfMemory();
    }
    const int streamError = stream->error;
    delete stream;
    if (memoryRanOut) return error = ENOMEM, 0;
    if (!written || !file.commit()) {
        gLog->print("ERROR: writing \"%s\" failed\n", outputPath.data);
        error = streamError ? streamError : file.error ? file.error : EFBIG;
        return 0;
    }
    return 1;
}
