#include "writer/typical_edge.h"

#include <algorithm>
#include <cmath>

namespace {

// Triangles looked at.
const int32_t kEdgeSample = 64;

// From 2^23 on a float's neighbours are 1 apart or more.
const float kWholeNumbers = 8388608.0f;

}  // namespace

double typicalEdge(const Mesh& mesh) {
    float edges[3 * kEdgeSample];
    int32_t count = 0;
    const int32_t triangles = mesh.faces.count;
    const int32_t stride = triangles > kEdgeSample ? triangles / kEdgeSample : 1;
    for (int32_t t = 0; t < triangles && count + 3 <= 3 * kEdgeSample; t += stride) {
        const FaceCorner* c = mesh.faces.items[t].corners;
        for (int e = 0; e < 3; ++e) {
            const Vec3& a = mesh.vertices.items[c[e].vertex];
            const Vec3& b = mesh.vertices.items[c[(e + 1) % 3].vertex];
            const float d[3] = {std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)};
            const float length = std::max(d[0], std::max(d[1], d[2]));
            if (length < kWholeNumbers) edges[count++] = length;
        }
    }
    if (count == 0) return 0;
    std::nth_element(edges, edges + count / 2, edges + count);
    return edges[count / 2];
}
