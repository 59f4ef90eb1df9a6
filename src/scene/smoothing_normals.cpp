#include "scene/smoothing_normals.h"

#include "platform/array.h"
#include "platform/bits.h"

#include <cmath>

namespace {

struct Vec3d {
    double x, y, z;
};

Vec3d toDouble(const Vec3& v) { return {v.x, v.y, v.z}; }
Vec3d minus(const Vec3d& a, const Vec3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3d plus(const Vec3d& a, const Vec3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3d times(const Vec3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const Vec3d& a, const Vec3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3d cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const Vec3d& a) { return std::sqrt(dot(a, a)); }
Vec3 toFloat(const Vec3d& v) { return {(float)v.x, (float)v.y, (float)v.z}; }

// A face's unit normal and its angle at each corner; all zero for a
// degenerate face and for one with a corner vertex out of range.
struct FaceShape {
    Vec3d normal;
    double angles[3];
};

bool verticesInRange(const Mesh& mesh, const MeshFace& face) {
    for (const FaceCorner& corner : face.corners)
        if (corner.vertex < 0 || corner.vertex >= mesh.vertices.count) return false;
    return true;
}

FaceShape shapeOf(const Mesh& mesh, const MeshFace& face) {
    FaceShape shape = {};
    Vec3d p[3];
    for (int k = 0; k < 3; ++k) p[k] = toDouble(mesh.vertices[face.corners[k].vertex]);
    const Vec3d n = cross(minus(p[1], p[0]), minus(p[2], p[0]));
    const double size = length(n);
    // Also catches positions that are not finite.
    if (!(size > 0 && size <= 1e300)) return shape;
    shape.normal = times(n, 1 / size);
    for (int k = 0; k < 3; ++k) {
        const Vec3d e1 = minus(p[(k + 1) % 3], p[k]), e2 = minus(p[(k + 2) % 3], p[k]);
        shape.angles[k] = std::atan2(length(cross(e1, e2)), dot(e1, e2));
    }
    return shape;
}

// A sum that cancels out leaves only rounding: it counts as zero.
Vec3 finish(const Vec3d& sum, double weight, const Vec3d& faceNormal) {
    const double size = length(sum);
    if (size > 1e-12 * weight) return toFloat(times(sum, 1 / size));
    if (dot(faceNormal, faceNormal) > 0) return toFloat(faceNormal);
    return Vec3{0, 0, 1};
}

// How many of the normals made last at a vertex a new one is compared with:
// enough for the flat faces around a corner, and it keeps the work linear.
const int32_t kRecentNormals = 16;

// The index of normal among the recent ones from first on, added when it is
// new; -1 when memory ran out. Equal as values: a zero's sign depends on which
// triangle of a side made it.
int32_t normalIndex(Array<Vec3>& normals, int32_t first, const Vec3& normal) {
    const int32_t from = normals.count - kRecentNormals > first ? normals.count - kRecentNormals : first;
    for (int32_t i = normals.count - 1; i >= from; --i) {
        const Vec3& known = normals[i];
        if (known.x == normal.x && known.y == normal.y && known.z == normal.z) return i;
    }
    return normals.tryPush(normal);
}

// The groups of the faces at one vertex, joined where a face holds several:
// faces whose groups join share one sum. Union-find over the 32 groups.
struct GroupSets {
    uint8_t parent[32];
    Vec3d sum[32];
    double weight[32];

    void reset(uint32_t used) {
        for (; used; used &= used - 1) {
            const int g = firstSetBit(used);
            parent[g] = (uint8_t)g;
            sum[g] = Vec3d{0, 0, 0};
            weight[g] = 0;
        }
    }
    int find(int g) {
        while (parent[g] != g) g = parent[g] = parent[parent[g]];
        return g;
    }
    void join(uint32_t mask) {
        const int first = find(firstSetBit(mask));
        for (mask &= mask - 1; mask; mask &= mask - 1) parent[find(firstSetBit(mask))] = (uint8_t)first;
    }
    int setOf(uint32_t mask) { return find(firstSetBit(mask)); }
};

struct Work {
    Array<FaceShape> shapes;
    Array<int32_t> firstAt;  // per vertex, where its corners start in cornersAt
    Array<int32_t> cornersAt;  // corners as 3 * face + k, by vertex, in face order
    GroupSets sets;
};

// Adjacency from vertices to the corners of the faces whose vertices are all
// in range; 0 when memory ran out.
int buildAdjacency(const Mesh& mesh, Work& work) {
    const int32_t faceCount = mesh.faces.count, vertexCount = mesh.vertices.count;
    if (!work.firstAt.tryResize(vertexCount + 1) || !work.cornersAt.tryResize(3 * faceCount)) return 0;
    int32_t* firstAt = work.firstAt.items;
    int32_t used = 0;
    for (int32_t f = 0; f < faceCount; ++f)
        if (verticesInRange(mesh, mesh.faces[f]))
            for (const FaceCorner& corner : mesh.faces[f].corners) ++firstAt[corner.vertex], ++used;
    for (int32_t v = 0, end = 0; v < vertexCount; ++v) {
        end += firstAt[v];
        firstAt[v] = end;
    }
    firstAt[vertexCount] = used;
    // Backwards, so that each vertex lists its corners in face order.
    for (int32_t f = faceCount - 1; f >= 0; --f) {
        const MeshFace& face = mesh.faces[f];
        if (!verticesInRange(mesh, face)) continue;
        for (int k = 2; k >= 0; --k) work.cornersAt[--firstAt[face.corners[k].vertex]] = 3 * f + k;
    }
    return 1;
}

// Normals for the corners at vertex v; 0 when memory ran out.
int normalsAtVertex(Mesh& mesh, const uint32_t* groups, Work& work, int32_t v) {
    const int32_t* corners = work.cornersAt.items + work.firstAt[v];
    const int32_t count = work.firstAt[v + 1] - work.firstAt[v];
    GroupSets& sets = work.sets;
    uint32_t used = 0;
    for (int32_t i = 0; i < count; ++i) used |= groups[corners[i] / 3];
    sets.reset(used);
    for (int32_t i = 0; i < count; ++i)
        if (groups[corners[i] / 3]) sets.join(groups[corners[i] / 3]);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t f = corners[i] / 3;
        if (!groups[f]) continue;
        const int set = sets.setOf(groups[f]);
        const FaceShape& shape = work.shapes[f];
        const double angle = shape.angles[corners[i] % 3];
        sets.sum[set] = plus(sets.sum[set], times(shape.normal, angle));
        sets.weight[set] += angle;
    }
    const int32_t first = mesh.normals.count;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t f = corners[i] / 3;
        const FaceShape& shape = work.shapes[f];
        // Without groups the sum is the face's own: its face normal exactly.
        Vec3 normal = finish(Vec3d{0, 0, 0}, 0, shape.normal);
        if (groups[f]) {
            const int set = sets.setOf(groups[f]);
            normal = finish(sets.sum[set], sets.weight[set], shape.normal);
        }
        const int32_t index = normalIndex(mesh.normals, first, normal);
        if (index < 0) return 0;
        mesh.faces[f].corners[corners[i] % 3].normal = index;
    }
    return 1;
}

}  // namespace

int computeSmoothingNormals(Mesh& mesh, const uint32_t* groups) {
    const int32_t faceCount = mesh.faces.count;
    Work work;
    if (!work.shapes.tryResize(faceCount)) return 0;
    bool anyOutside = false;
    for (int32_t f = 0; f < faceCount; ++f) {
        MeshFace& face = mesh.faces[f];
        const bool inRange = verticesInRange(mesh, face);
        if (inRange) work.shapes[f] = shapeOf(mesh, face);
        anyOutside = anyOutside || !inRange;
        face.normal = toFloat(work.shapes[f].normal);
    }
    if (!buildAdjacency(mesh, work)) return 0;
    for (int32_t v = 0; v < mesh.vertices.count; ++v)
        if (!normalsAtVertex(mesh, groups, work, v)) return 0;
    if (anyOutside) {
        const int32_t up = mesh.normals.tryPush(Vec3{0, 0, 1});
        if (up < 0) return 0;
        for (int32_t f = 0; f < faceCount; ++f)
            if (!verticesInRange(mesh, mesh.faces[f]))
                for (FaceCorner& corner : mesh.faces[f].corners) corner.normal = up;
    }
    return 1;
}
