#pragma once
#include "ase/material.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

// How a read goes; the defaults are the run's.
struct ReadOptions {
    // Threads in all (the main thread included) and the smallest part of the
    // input worth a thread. Zero threads means one per available processor,
    // up to eight.
    int32_t threads = 0;
    int32_t minimumPartBytes = 4 << 20;
    // Off, the mesh lists are read token by token, never a line at a time
    // (see Tokenizer::cursor); for tests that compare the two.
    bool lineScans = true;
    // Material ids past the submaterials wrap around, as 3ds max renders
    // them (option --wrap-material-ids); off, such faces are left out.
    bool wrapMaterialIds = false;
};

// Reads one ASE file into a Scene.
class AseReader {
public:
    ReadOptions options;
    // Parts of the input that workers read and the main thread took, over
    // this reader's reads (work that is always dropped would go unnoticed).
    int64_t partsTaken = 0;
    // After a failed read: why, and, when the file could not be opened, the
    // errno value of that.
    ReadError error;
    int openError = 0;
    // The read failed at a geometry object without a *MATERIAL_REF, which
    // error names; the run ends there without a word on standard output.
    bool missingMaterialRef = false;
    // The read failed because memory ran out; nothing was logged for it.
    bool outOfMemory = false;
    // The input did not begin with *3DSMAX_ASCIIEXPORT: it may not be an ASE
    // file at all.
    bool headerMissing = false;
    // Warnings of the last read, one line each ("TEXT\n"), and how many more
    // there were than fit.
    char warnings[ReadContext::kWarningRoom] = {};
    int32_t warningsNotKept = 0;

    // 1 on success, 0 when the file cannot be opened, a part of it cannot
    // be parsed or memory runs out. Meshes read before a failure stay in the
    // Scene.
    int readScene(Scene* scene, const char* path);

    // The same over a stream, which is taken over; fileName names it in
    // diagnostics.
    int readScene(Scene* scene, Stream* stream, const char* fileName = "");
};

// How a material block ended: failed, closed by its "}", or cut short by a
// "*GEOMOBJECT" (some exporters never close a material): the blocks still
// open close there and the scene loop reads the object.
enum MaterialBlockEnd { kMaterialFailed = 0, kMaterialClosed = 1, kMaterialCutShort = 2 };

MaterialBlockEnd parseMaterial(ReadContext& context, Tokenizer& tokenizer, Array<Material>& target, int depth);
int parseMapDiffuse(ReadContext& context, Tokenizer& tokenizer, Material& material);
// Reads a material list into table; MaterialLog logs it. When it returns 1
// the current token may be a "*GEOMOBJECT" that cut the list short.
int parseMaterialListBlock(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table);
