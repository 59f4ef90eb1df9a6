#include "qrvinfo/summary.h"

#include "qrvinfo/escape.h"

#include <cstdarg>

PackTotals packTotals(const Pack& pack) {
    PackTotals totals = {};
    totals.meshes = (uint32_t)pack.meshes.count;
    for (int32_t i = 0; i < pack.meshes.count; ++i) {
        const MeshInfo& mesh = pack.meshes[i];
        totals.vertices += mesh.vertexCount;
        totals.normals += mesh.normalCount;
        totals.triangles += mesh.indexCount / 3;
        totals.subsets += mesh.subsetCount;
    }
    return totals;
}

static const char* plural(uint64_t n, const char* one, const char* many) {
    return n == 1 ? one : many;
}

// Appends printf-formatted text (without its terminator); false when memory
// ran out.
static bool say(Array<char>& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)))
    ;

static bool say(Array<char>& out, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int n = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    const int32_t at = out.count;
    const bool room = at + n + 1 <= out.capacity || out.tryReserve(2 * (at + n + 1));
    if (room) {
        std::vsnprintf(out.items + at, (size_t)n + 1, format, again);
        out.count = at + n;
    }
    va_end(again);
    return room;
}

// "none" for no name.
static bool sayName(Array<char>& out, const Pack& pack, const NameRef& name) {
    if (name.length == 0) return say(out, "none");
    return appendTextName(out, pack.bytes + name.offset, name.length - 1);
}

bool appendSummary(Array<char>& out, const char* path, const Pack& pack) {
    const PackTotals totals = packTotals(pack);
    // Any step that ran out of memory leaves the text incomplete.
    bool added = true;
    added &= say(out, "%s: valid qrv pack, %u bytes, %u %s\n", path, pack.size, totals.meshes,
                 plural(totals.meshes, "mesh", "meshes"));
    for (int32_t i = 0; i < pack.meshes.count; ++i) {
        const MeshInfo& mesh = pack.meshes[i];
        added &= say(out, "mesh %d ", i);
        added &= sayName(out, pack, mesh.name);
        added &= say(out, ", bytes %u to %u\n", mesh.offset, mesh.offset + mesh.size - 1);
        added &= say(out, "  %u %s, %u %s, %u %s, %u %s, %u texture %s\n", mesh.vertexCount,
                     plural(mesh.vertexCount, "vertex", "vertices"), mesh.normalCount,
                     plural(mesh.normalCount, "normal", "normals"), mesh.indexCount / 3,
                     plural(mesh.indexCount / 3, "triangle", "triangles"), mesh.subsetCount,
                     plural(mesh.subsetCount, "subset", "subsets"), mesh.textureSets,
                     plural(mesh.textureSets, "set", "sets"));
        if (mesh.vertexCount == 0)
            added &= say(out, "  bounds none (no vertices)\n");
        else
            // + 0.0 shows -0 as 0.
            added &= say(out, "  bounds (%g, %g, %g) to (%g, %g, %g)\n", mesh.boundsMin[0] + 0.0,
                         mesh.boundsMin[1] + 0.0, mesh.boundsMin[2] + 0.0, mesh.boundsMax[0] + 0.0,
                         mesh.boundsMax[1] + 0.0, mesh.boundsMax[2] + 0.0);
        for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
            const SubsetInfo& subset = pack.subsets[(int32_t)(mesh.firstSubset + s)];
            added &= say(out, "  subset %u: ", s);
            if (subset.triangleCount == 0)
                added &= say(out, "no indices, 0 triangles");
            else
                added &= say(out, "indices %u to %u, %u %s", subset.firstIndex,
                             subset.firstIndex + 3 * subset.triangleCount - 1, subset.triangleCount,
                             plural(subset.triangleCount, "triangle", "triangles"));
            added &= say(out, ", texture ");
            added &= sayName(out, pack, subset.texture);
            added &= say(out, ", lightmap ");
            added &= sayName(out, pack, subset.lightmap);
            added &= out.tryPush('\n') >= 0;
        }
    }
    added &= say(out, "total: %u %s, %llu %s, %llu %s, %llu %s, %llu %s\n", totals.meshes,
                 plural(totals.meshes, "mesh", "meshes"), (unsigned long long)totals.vertices,
                 plural(totals.vertices, "vertex", "vertices"), (unsigned long long)totals.normals,
                 plural(totals.normals, "normal", "normals"), (unsigned long long)totals.triangles,
                 plural(totals.triangles, "triangle", "triangles"),
                 (unsigned long long)totals.subsets, plural(totals.subsets, "subset", "subsets"));
    return added;
}

bool printSummary(FILE* out, const char* path, const Pack& pack) {
    Array<char> text;
    if (!appendSummary(text, path, pack)) return false;
    std::fwrite(text.items, 1, (size_t)text.count, out);
    return true;
}

void printPackError(FILE* out, const char* path, const PackError& error) {
    if (error.offset >= 0)
        std::fprintf(out, "ERROR: %s: byte %lld: %s: expected %s, found %s\n", path,
                     (long long)error.offset, error.field, error.expected, error.found);
    else
        std::fprintf(out, "ERROR: %s: %s: expected %s, found %s\n", path, error.field,
                     error.expected, error.found);
}

void printPackDiagnostic(FILE* out, const char* path, const PackError& error) {
    if (error.offset >= 0)
        std::fprintf(out, "%s: error: byte %lld: %s: expected %s, found %s\n", path, (long long)error.offset,
                     error.field, error.expected, error.found);
    else
        std::fprintf(out, "%s: error: %s: expected %s, found %s\n", path, error.field, error.expected,
                     error.found);
}
