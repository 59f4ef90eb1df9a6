#pragma once
#include "qrvinfo/pack.h"
#include "qrvinfo/pack_loader.h"

#include <cstdint>
#include <cstdio>

// Totals over all meshes of a pack.
struct PackTotals {
    uint32_t meshes;
    uint64_t vertices;
    uint64_t normals;
    uint64_t triangles;
    uint64_t subsets;
};

PackTotals packTotals(const Pack& pack);

// The readable summary: per mesh its name, counts, texture sets and bounds,
// per subset its index range and texture names, then the totals. false, with
// nothing printed, when memory ran out.
bool printSummary(FILE* out, const char* path, const Pack& pack);
// The same text appended to out (no terminator), for pages that show it.
// false when memory ran out.
bool appendSummary(Array<char>& out, const char* path, const Pack& pack);

// The one line that tells why a pack was refused.
void printPackError(FILE* out, const char* path, const PackError& error);
// The same as a diagnostic: "PATH: error: byte N: ...".
void printPackDiagnostic(FILE* out, const char* path, const PackError& error);
