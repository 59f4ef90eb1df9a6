#include "ase/ase_reader.h"

#include "ase/geom_object.h"
#include "ase/material_log.h"
#include "ase/object_lookahead.h"
#include "ase/scene_loop.h"
#include "ase/utf16_text.h"
#include "platform/file_map.h"
#include "platform/filesystem.h"
#include "platform/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int AseReader::readScene(Scene* scene, const char* path) {
    Stream* stream = gFileSystem->openRead(path);
    if (!stream && errno == ENOMEM) {
        outOfMemory = true;
        return 0;
    }
    if (!stream) {
        openError = errno ? errno : EIO;
        gLog->print("ERROR: cannot read \"%s\"\n", path);
        return 0;
    }
    return readScene(scene, stream, path);
}

SceneLoopResult runSceneLoop(SceneLoop& loop) {
    Tokenizer& tokenizer = loop.tokenizer;
    bool first = true;
    // A material list cut short by a "*GEOMOBJECT" leaves that token current.
    bool haveToken = false;
    for (;;) {
        if (loop.lookahead && loop.lookahead->pending() && !loop.lookahead->take(loop)) return kSceneFailed;
        int32_t at = -1;
        if (loop.worker) {
            if (loop.cancelled->load(std::memory_order_relaxed)) return kSceneAbandoned;
            at = tokenizer.nextTokenStart();
            if (at >= loop.end) {
                loop.stop = at;
                return kSceneRead;
            }
        }
        if (!haveToken && !tokenizer.nextToken()) {
            if (first && !loop.worker) loop.context.headerMissing = true;
            loop.stop = at >= 0 ? at : tokenizer.inputEnd();
            break;
        }
        haveToken = false;
        if (first && loop.worker && !tokenizer.is("*GEOMOBJECT")) return kSceneAbandoned;
        // A UTF-8 byte-order mark stays on the first word; the header is there.
        if (first && !loop.worker && !tokenizer.is("*3DSMAX_ASCIIEXPORT") &&
            !tokenizer.is("\xEF\xBB\xBF*3DSMAX_ASCIIEXPORT"))
            loop.context.headerMissing = true;
        first = false;
        if (tokenizer.is("*GEOMOBJECT")) {
            if (loop.materialLog) loop.materialLog->flush(loop.materials);
            if (loop.lookahead) loop.lookahead->start(tokenizer, loop.materials);
            bool empty = false;
            Mesh* mesh = readGeomObject(loop.context, tokenizer, loop.materials, &empty);
            if (!mesh && !empty) return kSceneFailed;
            if (mesh) loop.scene.link(mesh);
        }
        if (tokenizer.is("*MATERIAL_LIST")) {
            if (loop.worker) {
                // The main thread reads it: the materials change there.
                if (at < 0) return kSceneAbandoned;
                loop.stop = at;
                return kSceneRead;
            }
            // The workers read the materials as they are now.
            loop.lookahead->restart();
            if (!loop.materialLog->readList(loop.context, tokenizer, loop.materials)) return kSceneFailed;
            haveToken = tokenizer.is("*GEOMOBJECT");
        }
    }
    if (loop.materialLog) {
        loop.materialLog->flush(loop.materials);
        loop.context.print("done!\n");
    }
    return kSceneRead;
}

int AseReader::readScene(Scene* scene, Stream* stream, const char* fileName) {
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    tokenizer.lineScans = options.lineScans;
    MaterialTable materials;
    ReadContext context;
    context.fileName = fileName;
    context.wrapMaterialIds = options.wrapMaterialIds;
    if (!tokenizer.open(stream)) {
        if ((outOfMemory = tokenizer.openFailedForMemory())) return 0;
        context.fail(0, "cannot read the whole input");
        error = context.error;
        return 0;
    }
    warnOfUtf16Losses(context, tokenizer);
    MaterialLog materialLog(*context.log);
    ObjectLookahead lookahead(options.threads, options.minimumPartBytes);
    lookahead.wrapMaterialIds = options.wrapMaterialIds;
    lookahead.open(tokenizer);
    SceneLoop loop{context, tokenizer, materials, *scene};
    loop.materialLog = &materialLog;
    loop.lookahead = &lookahead;
    int result = runSceneLoop(loop) == kSceneRead;
    lookahead.stop();
    partsTaken += lookahead.partsTaken;
    if (!context.outOfMemory && mappedFileShrank()) {
        // The lost bytes read as zeros; what was read from them counts for
        // nothing, but the reader ended through its usual paths.
        materialLog.flush(materials);
        context.fail(0, "the input file shrank while it was read");
        context.missingMaterialRef = false;
        result = 0;
    }
    tokenizer.close();
    destroyMaterials(materials);
    outOfMemory = context.outOfMemory;
    if (outOfMemory) result = 0;
    if (!result) error = context.error;
    missingMaterialRef = context.missingMaterialRef;
    headerMissing = context.headerMissing;
    std::memcpy(warnings, context.warnings, sizeof warnings);
    warningsNotKept = context.warningsNotKept;
    return result;
}
