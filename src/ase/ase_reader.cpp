#include "ase/ase_reader.h"

#include "ase/geom_object.h"
#include "ase/material_log.h"
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

int AseReader::readScene(Scene* scene, Stream* stream) {
    Tokenizer tokenizer;
    tokenizer.setDelimiters("{}:");
    MaterialTable materials;
    if (!tokenizer.open(stream)) {
        gLog->print("ERROR: cannot read the whole input\n");
        return 0;
    }
    MaterialLog materialLog;
    int result = 1;
    while (tokenizer.nextToken()) {
        if (tokenizer.is("*GEOMOBJECT")) {
            materialLog.flush(materials);
            if (materials.count == 0)
                gLog->print("WARNING: geomobject encountered, but no materials\n");
            Mesh* mesh = new Mesh();
            if (!parseGeomObject(mesh, tokenizer, materials)) {
                delete mesh;
                result = 0;
                break;
            }
            gLog->print("mesh: %s\n", mesh->name.printable());
            scene->link(mesh);
        }
        if (tokenizer.is("*MATERIAL_LIST")) {
            if (!materialLog.readList(tokenizer, materials)) {
                result = 0;
                break;
            }
        }
    }
    materialLog.flush(materials);
    if (result) gLog->print("done!\n");
    tokenizer.close();
    destroyMaterials(materials);
    return result;
}
