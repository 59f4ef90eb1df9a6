#include "ase/object_lookahead.h"

#include "ase/material_log.h"
#include "platform/allocator.h"
#include "platform/file_map.h"
#include "platform/log_record.h"
#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

struct ObjectLookahead::Worker {
    Tokenizer tokenizer;
    MaterialTable* materials;
    int32_t start;  // where its "*GEOMOBJECT" begins
    int32_t end;    // it stops at the first place between tokens from here on
    bool populate;  // it populates its part first, on the first start only
    std::atomic<bool> cancelled{false};

    Thread thread;
    LogRecord record;
    HeapAllocator heap;  // counts its meshes' records
    ReadContext context;
    Scene scene;  // its meshes, the last read first

    SceneLoopResult outcome = kSceneAbandoned;
    int32_t stop = 0;
};

namespace {

int runWorker(void* argument) {
    ObjectLookahead::Worker& worker = *(ObjectLookahead::Worker*)argument;
    ReadContext& context = worker.context;
    context.record = &worker.record;
    context.allocator = &worker.heap;
    const int32_t size = worker.tokenizer.inputEnd();
    if (worker.populate)
        populateMapped(worker.tokenizer.inputBytes() + worker.start,
                       (worker.end < size ? worker.end : size) - worker.start);
    SceneLoop loop{context, worker.tokenizer, *worker.materials, worker.scene};
    loop.worker = true;
    loop.end = worker.end;
    loop.cancelled = &worker.cancelled;
    SceneLoopResult outcome = runSceneLoop(loop);
    // Out of memory, the main thread reads the part itself and fares as it may.
    worker.outcome = context.outOfMemory ? kSceneAbandoned : outcome;
    worker.stop = loop.stop;
    return 0;
}

const char kObjectKeyword[] = "*GEOMOBJECT";
const int32_t kObjectKeywordLength = (int32_t)sizeof kObjectKeyword - 1;

// Whether "*GEOMOBJECT" begins at at (at >= 1), after a separator.
bool objectStartsAt(const unsigned char* input, int32_t at, int32_t size) {
    if (input[at] != '*' || at + kObjectKeywordLength > size) return false;
    const unsigned char before = input[at - 1];
    const bool separated = before == ' ' || before == '\t' || before == '\n' || before == '\r';
    return separated && std::memcmp(input + at, kObjectKeyword, (size_t)kObjectKeywordLength) == 0;
}

// The keyword is found by its 'J', a letter that other keywords and the
// numbers do not hold: stars stand on every line, so searching for them
// stops every few dozen bytes.
const int32_t kObjectKeywordJ = 7;

// Where "*GEOMOBJECT" first stands after a separator in [from, to), or -1.
int32_t findObject(const unsigned char* input, int32_t from, int32_t to, int32_t size) {
    if (from < 1) from = 1;
    int32_t at = from + kObjectKeywordJ;
    const int32_t end = to + kObjectKeywordJ < size ? to + kObjectKeywordJ : size;
    while (at < end) {
        const void* j = std::memchr(input + at, 'J', (size_t)(end - at));
        if (!j) return -1;
        at = (int32_t)((const unsigned char*)j - input);
        if (objectStartsAt(input, at - kObjectKeywordJ, size)) return at - kObjectKeywordJ;
        ++at;
    }
    return -1;
}

// The last byte c in [from, to), or -1: eight bytes at a time, as the look
// back may pass megabytes.
int32_t lastByteBefore(const unsigned char* input, int32_t from, int32_t to, unsigned char c) {
    const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull, pattern = ones * c;
    int32_t at = to;
    for (;;) {
        while (at - from >= 8) {
            uint64_t word;
            std::memcpy(&word, input + at - 8, 8);
            const uint64_t x = word ^ pattern;  // a zero byte where c is
            if ((x - ones) & ~x & highs) break;
            at -= 8;
        }
        const int32_t stop = at - 8 > from ? at - 8 : from;
        while (at > stop)
            if (input[--at] == c) return at;
        if (at <= from) return -1;
    }
}

// Where "*GEOMOBJECT" last stands after a separator in [from, to), or -1.
int32_t findObjectBefore(const unsigned char* input, int32_t from, int32_t to, int32_t size) {
    if (from < 1) from = 1;
    int32_t at = to + kObjectKeywordJ < size ? to + kObjectKeywordJ : size;
    while ((at = lastByteBefore(input, from + kObjectKeywordJ, at, 'J')) >= 0)
        if (objectStartsAt(input, at - kObjectKeywordJ, size)) return at - kObjectKeywordJ;
    return -1;
}

// The "*GEOMOBJECT" nearest to share, looking ahead as far as needed and
// back up to window, a step each way at a time: the search passes about
// twice the distance to the nearest one, which matters as the pages it
// passes are not in memory yet. A tie goes ahead; -1 when there is none.
int32_t nearestObject(const unsigned char* input, int32_t share, int32_t window, int32_t size) {
    const int64_t kStep = 64 << 10;
    for (int64_t d = 0;; d += kStep) {
        const bool aheadLeft = share + d < size, backLeft = d < window;
        if (!aheadLeft && !backLeft) return -1;
        // Ahead one byte further than a step, so that a tie is seen.
        const int32_t aheadEnd = (int32_t)std::min<int64_t>(share + d + kStep + 1, size);
        const int32_t backStart = (int32_t)(share - std::min<int64_t>(d + kStep, window));
        const int32_t ahead = aheadLeft ? findObject(input, (int32_t)(share + d), aheadEnd, size) : -1;
        const int32_t back = backLeft ? findObjectBefore(input, backStart, (int32_t)(share - d), size) : -1;
        if (back >= 0 && (ahead < 0 || share - back < ahead - share)) return back;
        if (ahead >= 0) return ahead;
    }
}

void deleteMeshes(Mesh* mesh) {
    while (mesh) {
        Mesh* following = mesh->next;
        delete mesh;
        mesh = following;
    }
}

}  // namespace

int32_t ObjectLookahead::threadCount() const {
    int32_t count = threads;
    if (count <= 0) count = availableProcessors();
    return count > 8 ? 8 : count;
}

int64_t ObjectLookahead::partsFor(int32_t from, int32_t size) const {
    int64_t parts = threadCount();
    const int64_t minimum = minimumPartBytes > 0 ? minimumPartBytes : 1;
    if (parts > (size - from) / minimum) parts = (size - from) / minimum;
    return parts;
}

void ObjectLookahead::open(const Tokenizer& tokenizer) {
    // Populated now when no worker can take a part of it.
    if (partsFor(0, tokenizer.inputEnd()) < 2) populate(tokenizer, 0, tokenizer.inputEnd());
}

void ObjectLookahead::populate(const Tokenizer& tokenizer, int32_t from, int32_t to) {
    if (populated) return;
    populated = true;
    populateMapped(tokenizer.inputBytes() + from, (int64_t)to - from);
}

void ObjectLookahead::start(const Tokenizer& tokenizer, MaterialTable& materials) {
    if (started) return;
    started = true;
    const int32_t size = tokenizer.inputEnd();
    const int32_t from = tokenizer.position();
    int64_t parts = partsFor(from, size);
    if (parts > kMaxWorkers + 1) parts = kMaxWorkers + 1;
    if (parts < 2) {
        populate(tokenizer, from, size);
        return;
    }
    // Part i begins at the object nearest to the end of its share of the
    // bytes (within half an object of even), looking back no further than
    // half a share or 4 MiB.
    const unsigned char* input = tokenizer.inputBytes();
    int32_t window = (int32_t)((size - from) / parts / 2);
    if (window > (4 << 20)) window = 4 << 20;
    int32_t starts[kMaxWorkers + 1];
    int32_t found = 0;
    for (int64_t i = 1; i < parts; ++i) {
        const int32_t share = (int32_t)(from + (size - from) * i / parts);
        const int32_t at = nearestObject(input, share, window, size);
        if (at <= from || (found > 0 && at <= starts[found - 1])) continue;
        starts[found++] = at;
    }
    for (int32_t i = 0; i < found; ++i) {
        Worker* worker = new (std::nothrow) Worker;
        if (!worker) break;
        worker->tokenizer.openShared(tokenizer, starts[i]);
        worker->materials = &materials;
        worker->context.wrapMaterialIds = wrapMaterialIds;
        worker->start = starts[i];
        worker->end = i + 1 < found ? starts[i + 1] : size;  // no token starts at the end
        // A start after the materials changed reads what the first populated.
        worker->populate = !populated;
        if (!startThread(worker->thread, runWorker, worker)) {
            delete worker;
            break;
        }
        workers[count++] = worker;
    }
    // The workers populate their parts meanwhile.
    populate(tokenizer, from, count > 0 ? workers[0]->start : size);
}

int ObjectLookahead::take(SceneLoop& main) {
    Tokenizer& tokenizer = main.tokenizer;
    while (next < count) {
        int32_t at = tokenizer.nextTokenStart();
        Worker* worker = workers[next];
        if (at < worker->start) return 1;  // not there yet, or not between tokens
        ++next;
        if (at > worker->start) {
            // The scan went past its start inside something else.
            drop(worker);
            continue;
        }
        joinThread(worker->thread);
        if (worker->outcome == kSceneAbandoned || worker->record.lost) {
            drop(worker);
            return 1;
        }
        ++partsTaken;
        // As the main loop does on its "*GEOMOBJECT".
        main.materialLog->flush(main.materials);
        worker->record.replayInto(*main.context.log);
        main.context.takeWarnings(worker->context);
        if (worker->context.error.message[0]) main.context.error = worker->context.error;
        main.context.missingMaterialRef = worker->context.missingMaterialRef;
        main.context.allocator->count(worker->heap.allocatedBytes);
        // Its list runs backwards; the main list takes them in reading order.
        Mesh* reading = nullptr;
        while (Mesh* mesh = worker->scene.head) {
            worker->scene.head = mesh->next;
            mesh->next = reading;
            reading = mesh;
        }
        while (Mesh* mesh = reading) {
            reading = mesh->next;
            main.scene.link(mesh);
        }
        const SceneLoopResult outcome = worker->outcome;
        const int32_t resumeFrom = worker->stop;
        delete worker;
        workers[next - 1] = nullptr;
        if (outcome == kSceneFailed) return 0;
        tokenizer.resumeAt(resumeFrom);
    }
    return 1;
}

void ObjectLookahead::drop(Worker* worker) {
    worker->cancelled.store(true, std::memory_order_relaxed);
    joinThread(worker->thread);
    deleteMeshes(worker->scene.head);
    for (int32_t i = 0; i < count; ++i)
        if (workers[i] == worker) workers[i] = nullptr;
    delete worker;
}

void ObjectLookahead::stop() {
    // Cancel all first, so that they wind down together.
    for (int32_t i = next; i < count; ++i)
        if (workers[i]) workers[i]->cancelled.store(true, std::memory_order_relaxed);
    for (int32_t i = next; i < count; ++i)
        if (workers[i]) drop(workers[i]);
    count = next = 0;
}
