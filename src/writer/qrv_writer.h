#pragma once
#include "platform/string.h"
#include "scene/scene.h"
#include "writer/buffered_writer.h"

#include <cstdint>

// Appended to a mesh's lower-cased name to name its lightmap (option -l).
extern const char* lightmapSuffix;

const uint32_t kOptionWeld = 1u;  // bit 0 of the option word: option -o

// The input path with its extension replaced by ".qrv"; the empty String when
// memory ran out.
String outputPathFor(const char* inputPath);

// Writes the pack of the meshes from head on to output, or beside the input
// (outputPathFor) when output is null. The file
// appears only when every byte of it was written; an earlier file of that
// name stays untouched otherwise, and the input is never overwritten.
// 1 on success, 0 on failure: the Log says what failed, reason (when given)
// gets the system's errno value. When memory ran out the reason is ENOMEM and
// the Log says nothing.
int writePack(const char* inputPath, Mesh* head, uint32_t options, int* reason = nullptr,
              const char* output = nullptr);

// The pack into an open writer: chunks, offset table, count, end mark.
void writePackTo(BufferedWriter& out, Mesh* head, uint32_t options);

class Welder;
void writeMeshChunk(BufferedWriter& out, Mesh& mesh, uint32_t options, Welder& welder);
