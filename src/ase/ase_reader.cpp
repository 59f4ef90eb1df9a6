#include "ase/ase_reader.h"

#include "ase/geom_object.h"
#include "ase/material_log.h"
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
    Scene* scene;
};

// The scene loop: acts on *GEOMOBJECT and *MATERIAL_LIST wherever they stand.
int readTokens(void* context) {
    SceneRead& read = *(SceneRead*)context;
    Tokenizer& tokenizer = *read.tokenizer;
    MaterialTable& materials = *read.materials;
    MaterialLog& materialLog = *read.materialLog;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("*GEOMOBJECT")) {
            materialLog.flush(materials);
            if (materials.count == 0)
                gLog->print("WARNING: geomobject encountered, but no materials\n");
            Mesh* mesh = new Mesh();
            if (!parseGeomObject(mesh, tokenizer, materials)) {
                delete mesh;
                return 0;
            }
            gLog->print("mesh: %s\n", mesh->name.printable());
            read.scene->link(mesh);
        }
        if (tokenizer.is("*MATERIAL_LIST")) {
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
    SceneRead read = {&tokenizer, &materials, &materialLog, scene};
    int result = 0;
    if (!runGuardedAgainstFileShrink(readTokens, &read, &result)) {
        // What the interrupted parsers held is left behind; the run ends anyway.
        materialLog.flush(materials);
        gLog->print("ERROR: the input file shrank while it was read\n");
        result = 0;
    }
    tokenizer.close();
    destroyMaterials(materials);
    return result;
}
