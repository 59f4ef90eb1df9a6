#pragma once
#include "ase/material.h"
#include "ase/scene_loop.h"
#include "ase/tokenizer.h"

#include <cstdint>

// Reads the geometry objects of the later parts of a large input on worker
// threads while the main thread reads the first part.
//
// Each worker begins where "*GEOMOBJECT" stands in its part and reads on as
// the scene loop would, up to the first place between tokens at or past the
// next part, keeping its meshes, messages and allocation count apart. The
// main thread takes that work only when its own scan stands between tokens
// in the plain state exactly where the worker began, with the materials as
// they were: from there on the tokens, and with them the meshes and messages,
// depend on the bytes and the materials alone. Anything else drops the work,
// and the main thread reads that part itself. The result is the same as one
// thread's in every case.
//
// A worker runs the scene loop with a context of its own: its messages are
// recorded and its allocations counted apart until the main thread takes its
// work or drops it.
class ObjectLookahead {
public:
    // Threads in all (the main thread included) and the smallest part worth
    // a thread. Zero threads means one per available processor, up to eight.
    ObjectLookahead(int32_t threads, int32_t minimumPartBytes)
        : threads(threads), minimumPartBytes(minimumPartBytes) {}
    ~ObjectLookahead() { stop(); }

    // Handed to the workers' contexts.
    bool wrapMaterialIds = false;
    // Parts whose work the main thread took.
    int64_t partsTaken = 0;

    // Main thread, once the input is open. A mapped input is brought into
    // memory in parts, each by the thread that reads it: an input too small
    // to split is populated whole here; otherwise start populates.
    void open(const Tokenizer& tokenizer);

    // Main thread, right after a "*GEOMOBJECT" was read. Starts workers over
    // the rest of the input unless they ran since the materials last changed.
    void start(const Tokenizer& tokenizer, MaterialTable& materials);

    // Main thread, before it reads a token of the scene loop. Takes the work
    // of the worker that began where the scan stands into the main loop,
    // then carries on from where that worker ended, as often as the next one
    // fits. Returns 0 when the work taken ends in a failed object (the read
    // then fails); 1 otherwise.
    int take(SceneLoop& main);

    // Drops all work not taken and waits for the workers. Before the
    // materials change, and before the input goes away.
    void stop();
    // Allows a new start once the materials have changed.
    void restart() {
        stop();
        started = false;
    }

    bool pending() const { return next < count; }

    struct Worker;

private:
    ObjectLookahead(const ObjectLookahead&) = delete;
    ObjectLookahead& operator=(const ObjectLookahead&) = delete;

    void drop(Worker* worker);
    // Populates [from, to) of the input, the first time only.
    void populate(const Tokenizer& tokenizer, int32_t from, int32_t to);
    int32_t threadCount() const;
    // How many parts the input from from on is split into, at most.
    int64_t partsFor(int32_t from, int32_t size) const;

    const int32_t threads;
    const int32_t minimumPartBytes;

    static const int32_t kMaxWorkers = 7;
    Worker* workers[kMaxWorkers] = {};
    int32_t count = 0;  // workers started
    int32_t next = 0;   // the first worker neither taken nor dropped
    bool started = false;
    bool populated = false;
};
