#pragma once
#include "ase/material.h"
#include "ase/read_context.h"
#include "ase/tokenizer.h"
#include "scene/scene.h"

#include <atomic>
#include <cstdint>

class MaterialLog;
class ObjectLookahead;

// One scene loop over the tokens, acting on "*GEOMOBJECT" and
// "*MATERIAL_LIST" wherever they stand. The main thread's loop reads the
// whole input: it reads the material lists, logs them, and takes what the
// read-ahead workers read. A worker's loop begins on a "*GEOMOBJECT" and
// stops at the first place between tokens at or past end, or before a
// material list, which it leaves to the main thread.
struct SceneLoop {
    ReadContext& context;
    Tokenizer& tokenizer;
    MaterialTable& materials;  // a worker only reads it
    Scene& scene;

    // The main thread's.
    MaterialLog* materialLog = nullptr;
    ObjectLookahead* lookahead = nullptr;

    // A worker's: where it must stop, whether it should give up, and where
    // it stopped.
    bool worker = false;
    int32_t end = INT32_MAX;
    const std::atomic<bool>* cancelled = nullptr;
    int32_t stop = -1;
};

enum SceneLoopResult {
    kSceneFailed,     // an object or a material list failed
    kSceneRead,       // the input, or a worker's part, read to its end
    kSceneAbandoned,  // a worker's work that cannot be used
};

SceneLoopResult runSceneLoop(SceneLoop& loop);
