#pragma once
#include "platform/array.h"
#include "qrvinfo/pack.h"

#include <cstdint>
#include <cstdio>

// How a name, which may hold any byte, appears in each output format: one
// escaper per format, here only.

// Plain text (the summary and the loader's messages): in quotes, printable
// ASCII as it is, '"' and '\' after a backslash, any other byte as \xHH. Past
// maxBytes bytes the rest is left out and "..." says so. No terminator.
// false when memory ran out.
bool appendTextName(Array<char>& out, const unsigned char* bytes, uint32_t n,
                    uint32_t maxBytes = UINT32_MAX);

// A JSON string of the bytes read as Latin-1, so plain ASCII whatever they
// hold; with utf8 (text of our own or from the command line, such as a file
// name), bytes that are valid UTF-8 as a whole stay as they are, which a JSON
// reader reads as that text. Inside a page's script element (inScript) '"',
// '\', '<', '>' and '&' are \u escapes too: no name can close the element
// holding it.
void putJsonString(FILE* out, const unsigned char* bytes, size_t n, bool inScript = false, bool utf8 = false);
// A name as such a string; null for no name.
void putJsonName(FILE* out, const Pack& pack, const NameRef& name, bool inScript = false);

// Text in a page's body: only markup characters are escaped.
void putHtmlText(FILE* out, const char* text, size_t n);

// A name's byte in OBJ and MTL files: controls and DEL become '_', and so do
// blanks and '#' where the name must be one word (groups and materials, not
// the rest of a map_Kd line).
char objNameByte(unsigned char c, bool word);
