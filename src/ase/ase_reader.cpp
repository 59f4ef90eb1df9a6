#include "ase/ase_reader.h"

#include "ase/geom_object.h"
#include "ase/material_log.h"
#include "ase/object_lookahead.h"
#include "platform/file_map.h"
#include "platform/filesystem.h"
#include "platform/log.h"

int AseReader::readScene(Scene* scene, const char* path) {
    Stream* stream = gFileSystem->openRead(path);
    if (!stream) {
        gLog->print("ERROR: cannot read \"%s\"\n", path);
        return 0;
    }
    return readScene(scene, stream);
}

namespace {

struct SceneRead {
    Tokenizer* tokenizer;
    MaterialTable* materials;
    MaterialLog* materialLog;
    ObjectLookahead* lookahead;
    Scene* scene;
};

// The scene loop: acts on *GEOMOBJECT and *MATERIAL_LIST wherever they stand.
int readTokens(void* context) {
    SceneRead& read = *(SceneRead*)context;
    Tokenizer& tokenizer = *read.tokenizer;
    MaterialTable& materials = *read.materials;
    MaterialLog& materialLog = *read.materialLog;
    ObjectLookahead& lookahead = *read.lookahead;
    for (;;) {
        if (lookahead.pending() && !lookahead.take(tokenizer, materials, materialLog, read.scene))
            return 0;
        if (!tokenizer.nextToken()) break;
        if (tokenizer.is("*GEOMOBJECT")) {
            materialLog.flush(materials);
            lookahead.start(tokenizer, materials);
            Mesh* mesh = readGeomObject(tokenizer, materials);
            if (!mesh) return 0;
            read.scene->link(mesh);
        }
        if (tokenizer.is("*MATERIAL_LIST")) {
            // The workers read the materials as they are now.
            lookahead.restart();
            if (!materialLog.readList(tokenizer, materials)) return 0;
        }
    }
    materialLog.flush(materials);
    gLog->print("done!\n");
    return 1;
}

}  // namespace

int AseReader::readScene(Scene* scene, Stream* stream) {
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    MaterialTable materials;
    if (!tokenizer.open(stream)) {
        gLog->print("ERROR: cannot read the whole input\n");
        return 0;
    }
    MaterialLog materialLog;
    ObjectLookahead lookahead;
    lookahead.open(tokenizer);
    SceneRead read = {&tokenizer, &materials, &materialLog, &lookahead, scene};
    int result = 0;
    if (!runGuardedAgainstFileShrink(readTokens, &read, &result)) {
        // What the interrupted parsers held is left behind; the run ends anyway.
        materialLog.flush(materials);
        gLog->print("ERROR: the input file shrank while it was read\n");
        result = 0;
    }
    lookahead.stop();
    tokenizer.close();
    destroyMaterials(materials);
    return result;
}
