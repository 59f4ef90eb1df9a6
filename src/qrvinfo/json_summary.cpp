#include "qrvinfo/json_summary.h"

#include "qrvinfo/escape.h"
#include "qrvinfo/summary.h"

#include <cmath>
#include <cstring>

static void printJsonText(FILE* out, const char* text) {
    putJsonString(out, (const unsigned char*)text, std::strlen(text), false, true);
}

static void printJsonFloats(FILE* out, const float* values) {
    for (int k = 0; k < 3; ++k) {
        if (k > 0) std::fputs(", ", out);
        if (std::isfinite(values[k]))
            std::fprintf(out, "%.9g", values[k] + 0.0);
        else
            std::fputs("null", out);
    }
}

void printJsonSummary(FILE* out, const char* path, const Pack& pack) {
    const PackTotals totals = packTotals(pack);
    std::fputs("{\n  \"file\": ", out);
    printJsonText(out, path);
    std::fprintf(out, ",\n  \"valid\": true,\n  \"size\": %u,\n  \"meshes\": [", pack.size);
    for (int32_t i = 0; i < pack.meshes.count; ++i) {
        const MeshInfo& mesh = pack.meshes[i];
        std::fprintf(out, "%s\n    {\"index\": %d, \"name\": ", i ? "," : "", i);
        putJsonName(out, pack, mesh.name);
        std::fprintf(out,
                     ", \"offset\": %u, \"size\": %u, \"textureSets\": %u,\n"
                     "     \"vertices\": %u, \"normals\": %u, \"triangles\": %u, \"indices\": %u,\n"
                     "     \"bounds\": ",
                     mesh.offset, mesh.size, mesh.textureSets, mesh.vertexCount, mesh.normalCount,
                     mesh.indexCount / 3, mesh.indexCount);
        if (mesh.vertexCount == 0) {
            std::fputs("null", out);
        } else {
            std::fputs("{\"min\": [", out);
            printJsonFloats(out, mesh.boundsMin);
            std::fputs("], \"max\": [", out);
            printJsonFloats(out, mesh.boundsMax);
            std::fputs("]}", out);
        }
        std::fputs(",\n     \"subsets\": [", out);
        for (uint32_t s = 0; s < mesh.subsetCount; ++s) {
            const SubsetInfo& subset = pack.subsets[(int32_t)(mesh.firstSubset + s)];
            std::fprintf(out, "%s\n       {\"firstIndex\": %u, \"triangles\": %u, \"texture\": ",
                         s ? "," : "", subset.firstIndex, subset.triangleCount);
            putJsonName(out, pack, subset.texture);
            std::fputs(", \"lightmap\": ", out);
            putJsonName(out, pack, subset.lightmap);
            std::fputc('}', out);
        }
        std::fputs(mesh.subsetCount ? "\n     ]}" : "]}", out);
    }
    std::fprintf(out,
                 "%s],\n  \"totals\": {\"meshes\": %u, \"vertices\": %llu, \"normals\": %llu, "
                 "\"triangles\": %llu, \"subsets\": %llu}\n}\n",
                 pack.meshes.count ? "\n  " : "", totals.meshes,
                 (unsigned long long)totals.vertices, (unsigned long long)totals.normals,
                 (unsigned long long)totals.triangles, (unsigned long long)totals.subsets);
}

void printJsonError(FILE* out, const char* path, const PackError& error) {
    std::fputs("{\n  \"file\": ", out);
    printJsonText(out, path);
    std::fputs(",\n  \"valid\": false,\n  \"error\": {\"offset\": ", out);
    if (error.offset >= 0)
        std::fprintf(out, "%lld", (long long)error.offset);
    else
        std::fputs("null", out);
    std::fputs(", \"field\": ", out);
    printJsonText(out, error.field);
    std::fputs(", \"expected\": ", out);
    printJsonText(out, error.expected);
    std::fputs(", \"found\": ", out);
    printJsonText(out, error.found);
    std::fputs("}\n}\n", out);
}
