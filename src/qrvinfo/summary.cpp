#include "qrvinfo/summary.h"

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

// Quoted, with anything but printable ASCII escaped; "none" for no name.
static void printName(FILE* out, const Pack& pack, const NameRef& name) {
    if (name.length == 0) {
        std::fputs("none", out);
        return;
    }
    std::fputc('"', out);
    for (uint32_t i = 0; i + 1 < name.length; ++i) {
        const unsigned char c = pack.bytes[name.offset + i];
        if (c == '"' || c == '\\')
            std::fprintf(out, "\\%c", c);
        else if (c >= 0x20 && c < 0x7F)
            std::fputc(c, out);
        else
            std::fprintf(out, "\\x%02X", c);
    }
    std::fputc('"', out);
}

void printSummary(FILE* out, const char* path, const Pack& pack) {
    const PackTotals totals = packTotals(pack);
    std::fprintf(out, "%s: valid qrv pack, %u bytes, %u %s\n", path, pack.size, totals.meshes,
                 plural(totals.meshes, "mesh", "meshes"));
    for (int32_t i = 0; i < pack.meshes.count; ++i) {
        const MeshInfo& mesh = pack.meshes[i];
        std::fprintf(out, "mesh %d ", i);
        printName(out, pack, mesh.name);
        std::fprintf(out, ", bytes %u to %u\n", mesh.offset, mesh.offset + mesh.size - 1);
        std::fprintf(out, "  %u %s, %u %s, %u %s, %u %s, %u texture %s\n", mesh.vertexCount,
                     plural(mesh.vertexCount, "vertex", "vertices"), mesh.normalCount,
                     plural(mesh.normalCount, "normal", "normals"), mesh.indexCount / 3,
                     plural(mesh.indexCount / 3, "triangle", "triangles"), mesh.subsetCount,
                     plural(mesh.subsetCount, "subset", "subsets"), mesh.textureSets,
                     plural(mesh.textureSets, "set", "sets"));
        if (mesh.vertexCount == 0)
            std::fprintf(out, "  bounds none (no vertices)\n");
        else
            // + 0.0 shows -0 as 0.
            std::fprintf(out, "  bounds (%g, %g, %g) to (%g, %g, %g)\n", mesh.boundsMin[0] + 0.0,
                         mesh.boundsMin[1] + 0.0, mesh.boundsMin[2] + 0.0, mesh.boundsMax[0] + 0.0,
                         mesh.boundsMax[1] + 0.0, mesh.boundsMax[2] + 0.0);
        for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
            const SubsetInfo& subset = pack.subsets[(int32_t)(mesh.firstSubset + s)];
            std::fprintf(out, "  subset %u: ", s);
            if (subset.triangleCount == 0)
                std::fprintf(out, "no indices, 0 triangles");
            else
                std::fprintf(out, "indices %u to %u, %u %s", subset.firstIndex,
                             subset.firstIndex + 3 * subset.triangleCount - 1, subset.triangleCount,
                             plural(subset.triangleCount, "triangle", "triangles"));
            std::fputs(", texture ", out);
            printName(out, pack, subset.texture);
            std::fputs(", lightmap ", out);
            printName(out, pack, subset.lightmap);
            std::fputc('\n', out);
        }
    }
    std::fprintf(out, "total: %u %s, %llu %s, %llu %s, %llu %s, %llu %s\n", totals.meshes,
                 plural(totals.meshes, "mesh", "meshes"), (unsigned long long)totals.vertices,
                 plural(totals.vertices, "vertex", "vertices"), (unsigned long long)totals.normals,
                 plural(totals.normals, "normal", "normals"), (unsigned long long)totals.triangles,
                 plural(totals.triangles, "triangle", "triangles"),
                 (unsigned long long)totals.subsets, plural(totals.subsets, "subset", "subsets"));
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
