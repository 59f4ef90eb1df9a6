// Normals from smoothing groups on shapes whose true normals are known, and the rule's edge cases.
#include "scene/smoothing_normals.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

// computeSmoothingNormals on a Mesh of the positions and faces, face f in groups[f].
struct Smoothed {
    Mesh mesh;
    int result;
    Smoothed(const std::vector<Vec3>& positions, const std::vector<std::array<int32_t, 3>>& faces,
             const std::vector<uint32_t>& groups) {
        ensureServices();
        for (const Vec3& p : positions) EXPECT_GE(mesh.vertices.tryPush(p), 0);
        EXPECT_TRUE(mesh.faces.tryResize((int32_t)faces.size()));
        for (size_t f = 0; f < faces.size(); ++f)
            for (int k = 0; k < 3; ++k) mesh.faces[(int32_t)f].corners[k].vertex = faces[f][k];
        result = computeSmoothingNormals(mesh, groups.data());
    }
    const Vec3& normal(int32_t face, int k) const { return mesh.normals[mesh.faces[face].corners[k].normal]; }
};

// The unit cube, vertex i at (i & 1, i >> 1 & 1, i >> 2 & 1), its sides wound outwards and split by either diagonal.
// Without groups each side keeps its face normal exactly; in one group each corner sees 90 degrees of each of its
// three sides, however they are split, so it points along the cube's diagonal.
TEST(SmoothingNormals, CubeFlatOrInOneGroupWhateverTheTriangulation) {
    const int32_t sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const Vec3 outwards[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    std::vector<Vec3> corners;
    for (int i = 0; i < 8; ++i) corners.push_back(Vec3{(float)(i & 1), (float)(i >> 1 & 1), (float)(i >> 2 & 1)});
    const unsigned splits[] = {0x00, 0x3F, 0x15, 0x2A, 0x07};  // bit s: the other diagonal splits side s
    const uint32_t groups[] = {1, 0x80000000u, 0xFFFFFFFFu, 4, 1};
    const float third = (float)(1 / std::sqrt(3.0));
    for (int i = 0; i < 5; ++i) {
        std::vector<std::array<int32_t, 3>> faces;
        for (int s = 0, o; s < 6; ++s)
            o = splits[i] >> s & 1 ? 0 : 1, faces.push_back({sides[s][o], sides[s][o + 1], sides[s][o + 2]}),
            faces.push_back({sides[s][o], sides[s][o + 2], sides[s][(o + 3) % 4]});
        Smoothed flat(corners, faces, std::vector<uint32_t>(12, 0));
        Smoothed round(corners, faces, std::vector<uint32_t>(12, groups[i]));
        ASSERT_TRUE(flat.result && round.result);
        // A side's two triangles share theirs at each vertex.
        EXPECT_TRUE(flat.mesh.normals.count == 24 && round.mesh.normals.count == 8) << flat.mesh.normals.count;
        for (int32_t f = 0; f < 12; ++f) {
            EXPECT_TRUE(same(outwards[f / 2], flat.mesh.faces[f].normal)) << "face " << f;
            for (int k = 0; k < 3; ++k) {
                const Vec3 &p = corners[faces[f][k]], &n = round.normal(f, k);
                const Vec3 d = {p.x ? third : -third, p.y ? third : -third, p.z ? third : -third};
                EXPECT_TRUE(same(outwards[f / 2], flat.normal(f, k))) << f << " " << k;
                EXPECT_LT(std::fabs(n.x - d.x) + std::fabs(n.y - d.y) + std::fabs(n.z - d.z), 3e-6) << splits[i];
            }
        }
    }
}

// Degenerate faces add nothing and take their neighbours' normal or (0, 0, 1); a sum that cancels falls back to the
// face normal; a corner vertex out of range gives (0, 0, 1) and touches nothing else; so does a non-finite position.
TEST(SmoothingNormals, EdgeCasesOfTheRule) {
    const Vec3 up = {0, 0, 1}, down = {0, 0, -1};
    const std::vector<Vec3> sheet = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {0, 0, 0}};
    const std::array<int32_t, 3> f012 = {0, 1, 2};
    Smoothed collinear(sheet, {f012, {0, 1, 3}}, {1, 1});
    // Face 0's at vertex 0; vertex 3, alone with the degenerate face, gets (0, 0, 1).
    EXPECT_TRUE(same(up, collinear.normal(1, 0)) && same(up, collinear.normal(1, 2)) &&
                same(Vec3{0, 0, 0}, collinear.mesh.faces[1].normal));
    Smoothed cancelled(sheet, {f012, {0, 2, 1}}, {1, 1});
    EXPECT_TRUE(same(up, cancelled.normal(0, 0)) && same(down, cancelled.normal(1, 0)));
    EXPECT_TRUE(same(up, Smoothed(sheet, {{4, 4, 4}}, {1}).normal(0, 1)));
    const std::vector<Vec3> raised = {{0, 0, 0}, {1, 0, 0}, {0, 1, 1}};  // so that up would be wrong
    Smoothed far(raised, {f012, {0, 7, 2}, {-1, 1, 2}, f012}, {1, 1, 1, 1});
    ASSERT_TRUE(far.result);
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(same(up, far.normal(1 + k / 3, k % 3)));
    EXPECT_TRUE(same(far.normal(0, 0), far.normal(3, 0)));
    EXPECT_LT(degreesBetween(Vec3{0, -1, 1}, far.normal(0, 0)), 1e-4);
    EXPECT_TRUE(same(up, Smoothed({{0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0}}, {f012}, {1}).normal(0, 0)));
}

}  // namespace
