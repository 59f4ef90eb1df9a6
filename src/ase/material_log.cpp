#include "ase/material_log.h"

#include "ase/ase_reader.h"

#include <algorithm>
#include <cstring>

namespace {

int32_t digits(int32_t value) {
    int32_t n = 1;
    while (value >= 10) value /= 10, ++n;
    return n;
}

int32_t nameLength(const String& name) { return name.data ? name.length() : 6; }  // "(null)"

int32_t messageLength(int32_t length) { return length < Log::kMessageMax ? length : Log::kMessageMax; }

}  // namespace

MaterialLog::~MaterialLog() {
    lineStart.release();
    firstLine.release();
}

bool MaterialLog::measure(const MaterialTable& table) {
    if (firstLine.count == 0 && (firstLine.tryPush(0) < 0 || lineStart.tryPush(0) < 0)) return false;
    // Entries never change once they are in the table.
    for (int32_t i = firstLine.count - 1; i < table.count; ++i) {
        const Material& material = table[i];
        int64_t end = lineStart[lineStart.count - 1];
        if (lineStart.tryPush(end += messageLength(13 + digits(i) + nameLength(material.textureName))) < 0) return false;
        for (int32_t j = 0; j < material.subMaterials.count; ++j) {
            const int32_t length = nameLength(material.subMaterials[j].textureName);
            if (lineStart.tryPush(end += messageLength(12 + digits(j) + length)) < 0) return false;
        }
        if (firstLine.tryPush(lineStart.count - 1) < 0) return false;
    }
    return true;
}

MaterialLog::Wraps MaterialLog::simulate(int32_t used, int32_t lines) const {
    Wraps wraps = {used, -1};
    int64_t position = wraps.used;
    int32_t from = 0;
    for (;;) {
        // The first line whose message no longer fits: Log::append wraps when
        // used + n > kTextSize.
        int64_t limit = Log::kTextSize - position + lineStart[from];
        const int64_t* first = lineStart.items + from + 1;
        const int64_t* end = lineStart.items + lines + 1;
        int32_t next = (int32_t)(std::upper_bound(first, end, limit) - lineStart.items);
        if (next > lines) {
            wraps.used = (int32_t)(position + lineStart[lines] - lineStart[from]);
            return wraps;
        }
        int32_t line = next - 1;
        wraps.lastReset = line;
        position = lineStart[line + 1] - lineStart[line];
        from = line + 1;
    }
}

void MaterialLog::print(const MaterialTable& table, int32_t from, int32_t to) const {
    int32_t entry = (int32_t)(std::upper_bound(firstLine.items, firstLine.items + firstLine.count, from) -
                              firstLine.items) - 1;
    for (int32_t line = from; line < to; ++entry) {
        const Material& material = table[entry];
        int32_t sub = line - firstLine[entry] - 1;
        if (sub < 0) {
            log.print("material[%d]: %s\n", entry, material.textureName.printable());
            ++line;
            sub = 0;
        }
        for (; sub < material.subMaterials.count && line < to; ++sub, ++line)
            log.print("\tSubMat[%d]: %s\n", sub, material.subMaterials[sub].textureName.printable());
    }
}

void MaterialLog::flush(const MaterialTable& table) {
    if (waiting < 0) return;
    int32_t lines = linesOf(waiting);
    waiting = -1;
    Wraps wraps = simulate(waitingStart, lines);
    if (wraps.lastReset >= 0) log.discard();
    print(table, wraps.lastReset >= 0 ? wraps.lastReset : 0, lines);
}

int MaterialLog::readList(ReadContext& context, Tokenizer& tokenizer, MaterialTable& table) {
    const Log::Mark before = log.mark();
    if (!parseMaterialListBlock(context, tokenizer, table)) {
        if (waiting >= 0) putBeforeLastMessage(table, before);
        return 0;
    }
    if (!measure(table)) return context.ranOutOfMemory();
    int32_t start = log.mark().used;
    if (waiting >= 0) {
        // The waiting table is dropped when this one wraps the Log after it.
        Wraps before = simulate(waitingStart, linesOf(waiting));
        if (simulate(before.used, linesOf(table.count)).lastReset >= 0) {
            start = before.used;
            waiting = -1;
        } else {
            flush(table);
            start = log.mark().used;
        }
    }
    waiting = table.count;
    waitingStart = start;
    return 1;
}

void MaterialLog::putBeforeLastMessage(const MaterialTable& table, const Log::Mark& before) {
    // A failed list logs one message, its ERROR line, after the state given.
    const int32_t used = before.used, now = log.mark().used;
    if (now == used) return flush(table);
    const bool wrapped = now < used;  // a wrap leaves only the message
    const int32_t length = wrapped ? now : now - used;
    char message[Log::kMessageMax];
    std::memcpy(message, log.textAt(wrapped ? 0 : used), (size_t)length);
    Wraps waited = simulate(waitingStart, linesOf(waiting));
    if (waited.used + length > Log::kTextSize) {
        // After the table the message wraps the Log: only the message stays.
        log.discard();
        waiting = -1;
    } else if (wrapped) {
        // The table wraps the Log itself (without a wrap it would end further
        // on than the message began): from its last wrap on it comes back.
        log.discard();
        print(table, waited.lastReset, linesOf(waiting));
        waiting = -1;
    } else {
        log.rewind(before);
        flush(table);
    }
    log.append(message, length);
}
