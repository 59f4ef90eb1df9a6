#pragma once
#include "qrvinfo/pack.h"

#include <cstdio>

// Writes a valid pack as Wavefront OBJ to objPath, with its materials in a
// companion file beside it (objPath's extension replaced by ".mtl"). The
// pack's conventions are undone so the meshes look as they did in 3ds max:
// positions and normals go back to the ASE axes, v back to the ASE v, and
// triangles back to their original winding. Every vertex gets its normal and
// first-set texture coordinate; each subset becomes a group with a material
// whose map_Kd is the subset's diffuse texture name. Each file appears whole
// or not at all, and neither may be the pack itself (packPath). 1 on
// success; 0 on failure, with an errno value in reason (EEXIST: the pack).
int writeObj(const Pack& pack, const char* objPath, const char* packPath, int* reason = nullptr);

// The OBJ and MTL text into open files; mtlName is what the OBJ's mtllib
// line names.
void writeObjTo(FILE* obj, FILE* mtl, const Pack& pack, const char* mtlName);
