#pragma once
#include "qrvinfo/pack.h"

#include <cstdio>

// Writes a valid pack as one self-contained HTML page that shows it in 3D
// (the page and its script are src/qrvinfo/view_page.html, built in). The
// page carries the summary text, a small JSON index (names, counts, subsets,
// where each array starts) and one base64 block of the pack's own
// little-endian arrays, each starting on a 4-byte boundary:
// - the vertex records as stored (position, then normal and one
//   texture set, or a zero word and two texture sets);
// - with two sets, the normal records; with one set these repeat the
//   records' normals and are left out;
// - the 16-bit indices, padded to 4 bytes.
// Nothing outside the file is referenced.
void writeHtmlTo(FILE* out, const Pack& pack, const char* title, const char* summary,
                 int32_t summaryLength);

// The page for the pack read from packPath, written to htmlPath. The file
// appears whole or not at all, and never in place of the pack itself. 1 on
// success; 0 on failure, with an errno value in reason (EEXIST: the pack).
int writeHtml(const Pack& pack, const char* htmlPath, const char* packPath, int* reason);
