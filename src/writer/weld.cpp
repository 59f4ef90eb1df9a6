#include "writer/weld.h"

#include "scene/near.h"

WeldKey makeWeldKey(const Mesh& mesh, const FaceCorner& corner, bool twoSets) {
    WeldKey key;
    const Vec3& p = mesh.vertices[corner.vertex];
    const Vec3& n = mesh.normals[corner.normal];
    const TexVertex& t = mesh.mapChannels[0][corner.tex[0]];
    key.position[0] = p.x;
    key.position[1] = p.y;
    key.position[2] = p.z;
    key.normal[0] = n.x;
    key.normal[1] = n.y;
    key.normal[2] = n.z;
    key.tex[0] = t.u;
    key.tex[1] = t.v;
    if (twoSets) {
        const TexVertex& s = mesh.mapChannels[1][corner.tex[1]];
        key.tex[2] = s.u;
        key.tex[3] = s.v;
    } else {
        key.tex[2] = 0.0f;
        key.tex[3] = 0.0f;
    }
    return key;
}

bool weldMatch(const WeldKey& a, const WeldKey& b, bool twoSets) {
    return near(a.position, b.position, 3, kWeldTolerance) &&
           near(a.normal, b.normal, 3, kWeldTolerance) && near(a.tex, b.tex, 2, kWeldTolerance) &&
           (!twoSets || near(a.tex + 2, b.tex + 2, 2, kWeldTolerance));
}

void weldCorners(const Mesh& mesh, bool twoSets, Array<WeldKey>& unique, Array<uint16_t>& indices) {
    for (int32_t t = 0; t < mesh.faces.count; ++t) {
        for (int k = 0; k < 3; ++k) {
            WeldKey key = makeWeldKey(mesh, mesh.faces[t].corners[2 - k], twoSets);
            int32_t found = -1;
            for (int32_t i = 0; i < unique.count && found < 0; ++i)
                if (weldMatch(unique[i], key, twoSets)) found = i;
            if (found < 0) found = unique.push(key);
            indices.push((uint16_t)found);
        }
    }
}
