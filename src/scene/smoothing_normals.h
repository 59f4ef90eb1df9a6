#pragma once
#include "scene/scene.h"

#include <cstdint>

// Normals for a mesh whose file gave none, made the way the exporters that
// leave them out make them on import: from smoothing groups. groups holds one
// mask per face, bit n - 1 for group n.
//
// The corner of face f at vertex v takes the normalized sum, over the faces g
// at v whose groups join f's, of g's face normal times g's angle at v; so a
// polygon's normals do not depend on how it was split into triangles. Groups
// join at v when a face there holds both, or through a chain of such faces:
// "1", "1,3" and "3" make one surface, as the exporter's own normals show. A
// face without groups takes only its own. A face normal is
// normalize((B - A) x (C - A)); a degenerate face adds nothing. A corner whose
// sum is zero takes its face normal, or (0, 0, 1) when that is zero too. Sums
// in double precision.
//
// Reads the faces' corner vertices; sets normals, every corner's normal index
// and every face's normal. A vertex's equal normals share one index, so
// corners that can weld do. A face with a corner vertex out of range adds
// nothing and points at (0, 0, 1), so the check of its vertices reports it.
// Linear in corners and vertices. 0 when memory ran out.
int computeSmoothingNormals(Mesh& mesh, const uint32_t* groups);
