#pragma once
#include "scene/scene.h"

// The median edge of a sample of a mesh's triangles, each edge measured on
// its longest axis; 0 when nothing could be measured. Edges from 2^23 on, and
// those not finite, are left out. It sets the width of the cells in which
// welding looks for positions near each other.
double typicalEdge(const Mesh& mesh);
