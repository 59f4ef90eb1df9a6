#include "qrvinfo/html_export.h"

#include "platform/filesystem.h"
#include "platform/replacing_file.h"
#include "qrvinfo/escape.h"
#include "qrvinfo/summary.h"

#include <cerrno>
#include <cstring>

extern const char kViewPage[];  // view_page.html, generated at build time

namespace {

uint32_t padded(uint32_t bytes) { return (bytes + 3) & ~3u; }

// Where a mesh's arrays start in the geometry block.
struct MeshArrays {
    uint32_t records;
    uint32_t normals;  // only with two texture sets
    uint32_t indices;
    uint32_t end;
};

MeshArrays meshArrays(const MeshInfo& mesh, uint32_t at) {
    MeshArrays arrays;
    arrays.records = at;
    arrays.normals = arrays.records + kVertexRecordSize * mesh.vertexCount;
    arrays.indices = arrays.normals + (mesh.textureSets == 2 ? kNormalRecordSize * mesh.vertexCount : 0);
    arrays.end = arrays.indices + padded(2 * mesh.indexCount);
    return arrays;
}

void putInfo(FILE* out, const Pack& pack) {
    std::fputs("{\"meshes\": [", out);
    uint32_t at = 0;
    for (int32_t m = 0; m < pack.meshes.count; ++m) {
        const MeshInfo& mesh = pack.meshes[m];
        const MeshArrays arrays = meshArrays(mesh, at);
        std::fprintf(out, "%s\n {\"name\": ", m ? "," : "");
        putJsonName(out, pack, mesh.name, true);
        std::fprintf(out,
                     ", \"sets\": %u, \"vertices\": %u, \"indices\": %u, \"records\": %u, "
                     "\"normals\": %d, \"order\": %u, \"subsets\": [",
                     mesh.textureSets, mesh.vertexCount, mesh.indexCount, arrays.records,
                     mesh.textureSets == 2 ? (int)arrays.normals : -1, arrays.indices);
        for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
            const SubsetInfo& subset = pack.subsets[(int32_t)(mesh.firstSubset + s)];
            std::fprintf(out, "%s[%u, %u, ", s ? ", " : "", subset.firstIndex,
                         subset.triangleCount);
            putJsonName(out, pack, subset.texture, true);
            std::fputs(", ", out);
            putJsonName(out, pack, subset.lightmap, true);
            std::fputc(']', out);
        }
        std::fputs("]}", out);
        at = arrays.end;
    }
    std::fprintf(out, "],\n \"bytes\": %u}", at);
}

// Base64 of a run of byte ranges, as if they were one: groups of three
// bytes may straddle two ranges.
struct Base64Writer {
    FILE* out;
    unsigned char held[3];
    int heldCount;
    char line[4096];
    int lineCount;

    void flushLine() {
        std::fwrite(line, 1, (size_t)lineCount, out);
        lineCount = 0;
    }
    void putGroup(const unsigned char* b, int n) {
        static const char digits[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const uint32_t v = (uint32_t)b[0] << 16 | (n > 1 ? (uint32_t)b[1] << 8 : 0) |
                           (n > 2 ? (uint32_t)b[2] : 0);
        if (lineCount + 4 > (int)sizeof line) flushLine();
        line[lineCount++] = digits[v >> 18];
        line[lineCount++] = digits[v >> 12 & 63];
        line[lineCount++] = n > 1 ? digits[v >> 6 & 63] : '=';
        line[lineCount++] = n > 2 ? digits[v & 63] : '=';
    }
    void put(const unsigned char* bytes, size_t n) {
        size_t i = 0;
        while (heldCount > 0 && heldCount < 3 && i < n) held[heldCount++] = bytes[i++];
        if (heldCount == 3) {
            putGroup(held, 3);
            heldCount = 0;
        }
        for (; i + 3 <= n; i += 3) putGroup(bytes + i, 3);
        while (i < n) held[heldCount++] = bytes[i++];
    }
    void finish() {
        if (heldCount > 0) putGroup(held, heldCount);
        heldCount = 0;
        flushLine();
    }
};

void putGeometry(FILE* out, const Pack& pack) {
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    Base64Writer writer;
    std::memset(&writer, 0, sizeof writer);
    writer.out = out;
    for (int32_t m = 0; m < pack.meshes.count; ++m) {
        const MeshInfo& mesh = pack.meshes[m];
        writer.put(pack.bytes + mesh.vertexOffset, (size_t)kVertexRecordSize * mesh.vertexCount);
        if (mesh.textureSets == 2)
            writer.put(pack.bytes + mesh.normalOffset, (size_t)kNormalRecordSize * mesh.vertexCount);
        writer.put(pack.bytes + mesh.indexOffset, 2 * (size_t)mesh.indexCount);
        writer.put(zeros, padded(2 * mesh.indexCount) - 2 * mesh.indexCount);
    }
    writer.finish();
}

}  // namespace

void writeHtmlTo(FILE* out, const Pack& pack, const char* title, const char* summary,
                 int32_t summaryLength) {
    // The page with its slots: @@NAME@@ is replaced by that part.
    const char* text = kViewPage;
    for (const char* slot; (slot = std::strstr(text, "@@"));) {
        std::fwrite(text, 1, (size_t)(slot - text), out);
        const char* name = slot + 2;
        const char* end = std::strstr(name, "@@");
        const size_t length = end ? (size_t)(end - name) : 0;
        if (length == 5 && std::memcmp(name, "TITLE", 5) == 0)
            putHtmlText(out, title, std::strlen(title));
        else if (length == 7 && std::memcmp(name, "SUMMARY", 7) == 0)
            putHtmlText(out, summary, (size_t)summaryLength);
        else if (length == 4 && std::memcmp(name, "INFO", 4) == 0)
            putInfo(out, pack);
        else if (length == 8 && std::memcmp(name, "GEOMETRY", 8) == 0)
            putGeometry(out, pack);
        else  // not a slot: the text as it is
            end = slot;
        if (end == slot) {
            std::fwrite(slot, 1, 2, out);
            text = slot + 2;
        } else {
            text = end + 2;
        }
    }
    std::fputs(text, out);
}

int writeHtml(const Pack& pack, const char* htmlPath, const char* packPath, int* reason) {
    if (gFileSystem->sameFile(htmlPath, packPath)) {
        *reason = EEXIST;
        return 0;
    }
    Array<char> summary;
    if (!appendSummary(summary, packPath, pack)) {
        *reason = ENOMEM;
        return 0;
    }
    ReplacingFile out;
    if (!out.open(htmlPath)) {
        *reason = out.error;
        return 0;
    }
    writeHtmlTo(out.file(), pack, packPath, summary.items, summary.count);
    if (!out.commit()) {
        *reason = out.error;
        return 0;
    }
    return 1;
}
