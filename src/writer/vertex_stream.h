#pragma once
#include "scene/scene.h"
#include "writer/buffered_writer.h"

// Producers of a mesh chunk's vertex stream section: vertex records, normal
// records, bounds and indices. Every corner index of the mesh must name an
// existing entry (the reader checks them).

// One vertex record per triangle corner; indices count 0, 1, 2, ...
void writePlainVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets);

// Corners whose data agree within the weld tolerance share one record. The
// welder's storage, kept by the caller from mesh to mesh, is reused.
class Welder;
void writeWeldedVertexStream(const Mesh& mesh, BufferedWriter& out, bool twoSets, Welder& welder);
