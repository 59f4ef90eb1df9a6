#pragma once
#include "qrvinfo/pack.h"
#include "qrvinfo/pack_loader.h"

#include <cstdio>

// The summary as one JSON object, for scripts and CI. Names are decoded as
// Latin-1 and escaped, so the output is plain ASCII whatever the names hold;
// an empty name is null; non-finite numbers are null.
void printJsonSummary(FILE* out, const char* path, const Pack& pack);

// {"file": ..., "valid": false, "error": {...}}
void printJsonError(FILE* out, const char* path, const PackError& error);
