#include <gtest/gtest.h>
#include "support/test_support.h"
#include "writer/pack_bytes.h"
#include "writer/weld.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>

using Key = std::array<float, 10>;  // position, normal, first set, second set (zeros with one set)

// The rule by brute force: corners third to first, each compared with the unique keys from the first; near: each
// component within 1e-5f in double (NaN never), the second set only with two sets; the same keys, bit for bit.
static void expectSameWeld(const Mesh& mesh, bool twoSets) {
    SCOPED_TRACE(testing::Message() << "two sets " << twoSets);
    std::vector<Key> unique;
    std::vector<uint16_t> indices;
    for (int32_t c = 0; c < 3 * mesh.faces.count; ++c) {
        const FaceCorner& k = mesh.faces[c / 3].corners[2 - c % 3];
        const Vec3 &p = mesh.vertices[k.vertex], &n = mesh.normals[k.normal];
        const TexVertex t = mesh.mapChannels[0][k.tex[0]], s = twoSets ? mesh.mapChannels[1][k.tex[1]] : TexVertex{};
        const Key key = {p.x, p.y, p.z, n.x, n.y, n.z, t.u, t.v, s.u, s.v};
        size_t i = 0;
        for (int n = 0; i < unique.size() && n < (twoSets ? 10 : 8); i += n < (twoSets ? 10 : 8))
            for (n = 0; n < (twoSets ? 10 : 8) && std::fabs((double)unique[i][n] - key[n]) <= (double)1e-5f;) ++n;
        if (i == unique.size()) unique.push_back(key);
        indices.push_back((uint16_t)i);
    }
    static Welder welder;  // as in the writer, reused from mesh to mesh
    EXPECT_TRUE(welder.weld(mesh, twoSets));
    ASSERT_EQ(unique.size(), (size_t)welder.unique.count);
    EXPECT_EQ(0, std::memcmp(unique.data(), welder.unique.items, unique.size() * sizeof(Key)));
    EXPECT_EQ(indices, std::vector<uint16_t>(welder.indices.items, welder.indices.items + welder.indices.count));
}

// Corners in welding order carrying keys of a few components, the rest zero, padded; equal keys share entries.
using Components = std::vector<std::pair<int, float>>;
static void fill(Mesh& mesh, const std::vector<Components>& components) {
    std::vector<Key> keys(components.size());
    for (size_t j = 0; j < keys.size(); ++j)
        for (auto c : components[j]) keys[j][c.first] = c.second;
    while (keys.size() % 3) keys.push_back({100.0f + (float)keys.size()});
    ASSERT_TRUE(mesh.faces.tryResize((int32_t)keys.size() / 3));
    for (size_t j = 0, e = 0; j < keys.size(); ++j, e = 0) {
        const Key& k = keys[j];
        while (std::memcmp(&keys[e], &k, sizeof k) != 0) ++e;
        ASSERT_TRUE(mesh.vertices.tryPush({k[0], k[1], k[2]}) >= 0 && mesh.normals.tryPush({k[3], k[4], k[5]}) >= 0);
        ASSERT_TRUE(mesh.mapChannels[0].tryPush({k[6], k[7]}) >= 0 && mesh.mapChannels[1].tryPush({k[8], k[9]}) >= 0);
        mesh.faces[(int32_t)j / 3].corners[2 - j % 3] = {(int32_t)e, (int32_t)e, {(int32_t)e, (int32_t)e}};
    }
}

TEST(Weld, FollowsTheRuleOnHandMadeKeys) {
    ensureServices();
    const float t = 1e-5f, above = std::nextafter(t, 1.0f), face = 0.5f / 128, nan = NAN, inf = INFINITY;
    const std::vector<std::vector<Components>> rows = {
        {{}, {{0, t}}, {{7, t}}, {{0, above}}, {{4, above}}, {{6, above}}},  // the tolerance apart, just outside
        {{{0, t}}, {{0, -4e-13f}}},                                          // within it only in single precision
        {{{0, -0.0f}, {4, -0.0f}}, {{1, -0.0f}, {9, -0.0f}}},                // signed zeros: the first is kept
        {{{0, nan}}, {{0, nan}}, {{1, inf}}, {{1, inf}}, {{7, -inf}}, {{7, -inf}}},  // not even the same entries
        {{{2, 3}, {9, 1}}, {{2, 3}}, {{8, nan}}, {{8, nan}}},                // the second set, with two sets only
        {{{0, 0}}, {{0, 0.8e-5f}}, {{0, 1.6e-5f}}},                          // not transitive
        {{{0, face - 0.7e-5f}}, {{0, face + 0.7e-5f}}, {{0, face}}},         // first earlier, older below a face
        {{{1, 0.7e-5f - 3 * face}}, {{1, -0.7e-5f - 3 * face}}, {{1, -3 * face}}},  // ... older above
        {{{5, 3 * face - 0.3e-5f}}, {{5, 3 * face + 0.3e-5f}}},              // across a face of a normal axis
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        Mesh mesh;
        fill(mesh, rows[r]);
        SCOPED_TRACE(testing::Message() << "row " << r);
        for (bool twoSets : {false, true}) expectSameWeld(mesh, twoSets);
    }
}

// Entries at and around cell faces, round, tiny, huge, non-finite, or copies with a third of their components moved.
TEST(Weld, MatchesTheRuleOnRandomMeshes) {
    ensureServices();
    static const float special[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-5f, -1e-45f, 3e38f, 8388608.0f, NAN, -INFINITY};
    for (uint32_t seed = 1; seed <= 5000 && !HasFatalFailure(); ++seed) {
        std::mt19937 rng(seed);
        auto pool = [&](float* v, int count, int n) {
            for (int i = 0; i < count; ++i)
                for (int c = 0, from = (int)(rng() % (i + 1)) - 1; c < n; ++c) {
                    float& b = v[i * n + c] = from >= 0 ? v[from * n + c]
                                            : rng() % 4 ? (float)((int)(rng() % 64) - 32) / 256 : special[rng() % 10];
                    if (from < 0 || rng() % 3 != 0) continue;
                    b += (float)((int)(rng() % 9) - 4) * 0.5e-5f;  // within, at or beyond the tolerance
                    for (int nudges = (int)(rng() % 5) - 2; nudges != 0; nudges += nudges > 0 ? -1 : 1)
                        b = std::nextafter(b, nudges > 0 ? INFINITY : -INFINITY);
                }
        };
        Mesh mesh;
        ASSERT_TRUE(mesh.vertices.tryResize(1 + (int)(rng() % 24)) && mesh.normals.tryResize(1 + (int)(rng() % 4)));
        pool(&mesh.vertices[0].x, mesh.vertices.count, 3), pool(&mesh.normals[0].x, mesh.normals.count, 3);
        for (MapChannel& set : mesh.mapChannels) { ASSERT_TRUE(set.tryResize(1 + (int)(rng() % 4))); pool(&set[0].u, set.count, 2); }
        ASSERT_TRUE(mesh.faces.tryResize(1 + (int)(rng() % 40)));
        for (int32_t f = 0; f < mesh.faces.count; ++f)
            for (FaceCorner& k : mesh.faces[f].corners)
                k = {(int32_t)(rng() % mesh.vertices.count), (int32_t)(rng() % mesh.normals.count),
                     {(int32_t)(rng() % mesh.mapChannels[0].count), (int32_t)(rng() % mesh.mapChannels[1].count)}};
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        for (bool twoSets : {false, true}) expectSameWeld(mesh, twoSets);
    }
}

// A quad of two triangles sharing an edge, one set: records v2, v1, v0, v3 and no normal records.
TEST(Weld, QuadSharesItsEdge) {
    ensureServices();
    auto corner = [](float x, float y) { return Components{{0, x}, {1, y}, {5, 1}, {6, x}, {7, y}}; };
    Mesh mesh;
    fill(mesh, {corner(1, 1), corner(1, 0), corner(0, 0), corner(0, 1), corner(1, 1), corner(0, 0)});
    ASSERT_TRUE(mesh.mapChannels[1].tryResize(0));  // one set
    PackBytes b;
    meshChunk(b, nullptr, 1, {{{1, 0, -1}, {0, 1, 0}, {1, 0}}, {{1, 0, -0.0f}, {0, 1, 0}, {1, 1}},
                              {{0, 0, -0.0f}, {0, 1, 0}, {0, 1}}, {{0, 0, -1}, {0, 1, 0}, {0, 0}}},
              false, {0, 0, -1, 1, 0, -0.0f}, {0, 1, 2, 3, 0, 2}, {});
    EXPECT_EQ(b.tail({0}).data, packBytes(&mesh, kOptionWeld));
}
