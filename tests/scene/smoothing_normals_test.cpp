// Normals from smoothing groups on meshes built here: the rule's cases one by one, and shapes whose true normals
// are known.
#include "scene/smoothing_normals.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

struct Shape {
    std::vector<Vec3> positions;
    std::vector<std::array<int32_t, 3>> faces;
};

// A Mesh of the shape, its faces with the given groups; computeSmoothingNormals run on it.
struct Smoothed {
    Mesh mesh;
    int result;
    Smoothed(const Shape& shape, const std::vector<uint32_t>& groups) {
        ensureServices();
        mesh.vertices.resize((int32_t)shape.positions.size());
        for (size_t v = 0; v < shape.positions.size(); ++v) mesh.vertices[(int32_t)v] = shape.positions[v];
        mesh.faces.resize((int32_t)shape.faces.size());
        for (size_t f = 0; f < shape.faces.size(); ++f)
            for (int k = 0; k < 3; ++k) mesh.faces[(int32_t)f].corners[k].vertex = shape.faces[f][k];
        result = computeSmoothingNormals(mesh, groups.data());
    }
    const Vec3& normal(int32_t face, int k) const { return mesh.normals[mesh.faces[face].corners[k].normal]; }
};

double degreesBetween(const Vec3& a, const Vec3& b) {
    const double c[3] = {(double)a.y * b.z - (double)a.z * b.y, (double)a.z * b.x - (double)a.x * b.z,
                         (double)a.x * b.y - (double)a.y * b.x};
    const double d = (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z;
    return std::atan2(std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]), d) * 180 / std::acos(-1.0);
}

bool same(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The unit cube's 8 corners, vertex i at (i & 1, i >> 1 & 1, i >> 2 & 1), its 6 sides wound outwards, each side's
// quad split along the diagonal that split picks for it (bit s of split for side s).
Shape cube(unsigned split) {
    const int32_t sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    Shape shape;
    for (int i = 0; i < 8; ++i) shape.positions.push_back(Vec3{(float)(i & 1), (float)(i >> 1 & 1), (float)(i >> 2 & 1)});
    for (int s = 0; s < 6; ++s) {
        const int32_t* q = sides[s];
        if (split >> s & 1)
            shape.faces.push_back({q[0], q[1], q[2]}), shape.faces.push_back({q[0], q[2], q[3]});
        else
            shape.faces.push_back({q[1], q[2], q[3]}), shape.faces.push_back({q[1], q[3], q[0]});
    }
    return shape;
}

// A sphere of radius 2 about the origin: rings of latitude, quads split in two, fans at the poles.
Shape sphere(int rings, int segments) {
    Shape shape;
    shape.positions.push_back(Vec3{0, 0, 2});
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double pi = std::acos(-1.0), theta = pi * r / rings, phi = 2 * pi * s / segments;
            shape.positions.push_back(Vec3{(float)(2 * std::sin(theta) * std::cos(phi)),
                                           (float)(2 * std::sin(theta) * std::sin(phi)), (float)(2 * std::cos(theta))});
        }
    shape.positions.push_back(Vec3{0, 0, -2});
    auto at = [&](int r, int s) { return 1 + (r - 1) * segments + s % segments; };
    const int32_t south = (int32_t)shape.positions.size() - 1;
    for (int s = 0; s < segments; ++s) {
        shape.faces.push_back({0, at(1, s), at(1, s + 1)});
        for (int r = 1; r + 1 < rings; ++r) {
            shape.faces.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1)});
            shape.faces.push_back({at(r, s), at(r + 1, s + 1), at(r, s + 1)});
        }
        shape.faces.push_back({at(rings - 1, s), south, at(rings - 1, s + 1)});
    }
    return shape;
}

TEST(SmoothingNormals, CubeWithoutGroupsKeepsItsFaceNormalsExactly) {
    Smoothed cubeFlat(cube(0x15), std::vector<uint32_t>(12, 0));
    ASSERT_TRUE(cubeFlat.result);
    const Vec3 outwards[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (int32_t f = 0; f < 12; ++f) {
        EXPECT_TRUE(same(outwards[f / 2], cubeFlat.mesh.faces[f].normal)) << "face " << f;
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(same(outwards[f / 2], cubeFlat.normal(f, k))) << f << " " << k;
    }
    EXPECT_EQ(24, cubeFlat.mesh.normals.count);  // a side's two triangles share theirs at each vertex
}

// Angle weighting: whichever diagonal splits each side, a corner sees 90 degrees of each of its three sides.
TEST(SmoothingNormals, CubeInOneGroupPointsAlongTheDiagonalsWhateverTheTriangulation) {
    for (unsigned split : {0x00u, 0x3Fu, 0x15u, 0x2Au, 0x07u}) {
        for (uint32_t group : {1u, 0x80000000u, 0xFFFFFFFFu}) {
            Smoothed round(cube(split), std::vector<uint32_t>(12, group));
            ASSERT_TRUE(round.result);
            EXPECT_EQ(8, round.mesh.normals.count) << split;
            const float third = (float)(1 / std::sqrt(3.0));
            for (int32_t f = 0; f < 12; ++f)
                for (int k = 0; k < 3; ++k) {
                    const Vec3& p = round.mesh.vertices[round.mesh.faces[f].corners[k].vertex];
                    const Vec3 diagonal = {p.x ? third : -third, p.y ? third : -third, p.z ? third : -third};
                    const Vec3& n = round.normal(f, k);
                    EXPECT_NEAR(diagonal.x, n.x, 1e-6) << split << " face " << f << " corner " << k;
                    EXPECT_NEAR(diagonal.y, n.y, 1e-6);
                    EXPECT_NEAR(diagonal.z, n.z, 1e-6);
                }
        }
    }
}

TEST(SmoothingNormals, SphereInOneGroupIsRadial) {
    const Shape ball = sphere(12, 24);
    Smoothed round(ball, std::vector<uint32_t>(ball.faces.size(), 4));
    ASSERT_TRUE(round.result);
    double worst = 0;
    for (int32_t f = 0; f < round.mesh.faces.count; ++f)
        for (int k = 0; k < 3; ++k)
            worst = std::max(worst, degreesBetween(round.mesh.vertices[round.mesh.faces[f].corners[k].vertex],
                                                   round.normal(f, k)));
    EXPECT_LT(worst, 2.0);
    EXPECT_EQ((int32_t)ball.positions.size(), round.mesh.normals.count);
}

// Two faces folded along the edge 0-1 at 90 degrees, a third flat beside the first: which corners smooth is up to
// the groups; a face whose groups join through another face's (1, 1+3, 3) smooths with both.
TEST(SmoothingNormals, GroupsDecideWhichFacesShareANormal) {
    const Shape fold = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, -1, 0}},
                        {{{0, 1, 2}}, {{1, 0, 3}}, {{0, 4, 1}}}};
    struct Case {
        std::vector<uint32_t> groups;
        bool foldSmooth;  // faces 0 and 1 share their normal at vertex 0
    } cases[] = {{{1, 1, 1}, true}, {{1, 2, 1}, false}, {{3, 6, 0}, true}, {{0, 0, 0}, false},
                 {{1, 4, 5}, true}, {{1u << 31, 1u << 31, 0}, true}};
    for (const Case& c : cases) {
        Smoothed s(fold, c.groups);
        ASSERT_TRUE(s.result);
        EXPECT_EQ(c.foldSmooth, same(s.normal(0, 0), s.normal(1, 1))) << c.groups[0] << " " << c.groups[1];
        if (!c.foldSmooth && !c.groups[0]) {
            EXPECT_TRUE(same(Vec3{0, 0, 1}, s.normal(0, 0)));
        }
    }
    // Sharing: face 0 (up) and face 1 (along y) at 90 degrees each: the bisector.
    Smoothed shared(fold, {1, 1, 2});
    EXPECT_NEAR(0, degreesBetween(Vec3{0, 1, 1}, shared.normal(0, 0)), 1e-4);
    // Face 2 lies in face 0's plane; apart from face 1 it adds nothing new.
    Smoothed flat(fold, {1, 2, 1});
    EXPECT_TRUE(same(Vec3{0, 0, 1}, flat.normal(2, 0)));
}

// Degenerate faces add nothing and take their neighbours' normal or (0, 0, 1); a sum that cancels falls back to the
// face normal; a corner vertex out of range gives (0, 0, 1) and touches nothing else.
TEST(SmoothingNormals, EdgeCasesOfTheRule) {
    const Vec3 up = {0, 0, 1}, down = {0, 0, -1};
    const Shape sheet = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {0, 0, 0}},
                         {{{0, 1, 2}}, {{0, 1, 3}}, {{0, 2, 1}}, {{0, 1, 2}}, {{4, 4, 4}}}};
    Smoothed degenerate(Shape{sheet.positions, {sheet.faces[0], sheet.faces[1]}}, {1, 1});
    EXPECT_TRUE(same(up, degenerate.normal(1, 0)));  // collinear: face 0's normal
    EXPECT_TRUE(same(up, degenerate.normal(1, 2)));  // vertex 3, alone with it: (0, 0, 1)
    EXPECT_TRUE(same(Vec3{0, 0, 0}, degenerate.mesh.faces[1].normal));
    Smoothed cancelled(Shape{sheet.positions, {sheet.faces[0], sheet.faces[2]}}, {1, 1});
    EXPECT_TRUE(same(up, cancelled.normal(0, 0)));
    EXPECT_TRUE(same(down, cancelled.normal(1, 0)));
    Smoothed point(Shape{sheet.positions, {sheet.faces[4]}}, {1});
    EXPECT_TRUE(same(up, point.normal(0, 1)));
    Shape outside = {sheet.positions, {sheet.faces[0], {{0, 7, 2}}, {{-1, 1, 2}}, sheet.faces[3]}};
    outside.positions[2] = Vec3{0, 1, 1};  // so that up would be wrong
    Smoothed far(outside, {1, 1, 1, 1});
    ASSERT_TRUE(far.result);
    for (int32_t f : {1, 2})
        for (int k = 0; k < 3; ++k) EXPECT_TRUE(same(up, far.normal(f, k)));
    EXPECT_TRUE(same(far.normal(0, 0), far.normal(3, 0)));
    EXPECT_NEAR(0, degreesBetween(Vec3{0, -1, 1}, far.normal(0, 0)), 1e-4);
    // A non-finite position makes its faces degenerate; the result stays finite.
    Shape broken = {sheet.positions, {sheet.faces[0]}};
    broken.positions[1].x = INFINITY;
    Smoothed nan(broken, {1});
    EXPECT_TRUE(same(up, nan.normal(0, 0)));
}

}  // namespace
