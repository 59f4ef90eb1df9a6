#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"
#include "writer/weld.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>

// The reference: corners, third to first, scan the unique keys from the first; near: every component within
// 1e-5f, the difference taken in double (NaN never near), the second set only with two sets.
static void expectSameWeld(const Mesh& mesh, bool twoSets) {
    std::vector<std::array<float, 10>> keys;
    std::vector<int32_t> firstCorners;
    std::vector<uint16_t> indices;
    auto near = [&](const std::array<float, 10>& a, const std::array<float, 10>& b) {
        for (int n = 0; n < (twoSets ? 10 : 8); ++n)
            if (!(std::fabs((double)a[n] - (double)b[n]) <= (double)1e-5f)) return false;
        return true;
    };
    for (int32_t c = 0; c < 3 * mesh.faces.count; ++c) {
        const FaceCorner& k = mesh.faces[c / 3].corners[2 - c % 3];
        const Vec3 &p = mesh.vertices[k.vertex], &n = mesh.normals[k.normal];
        const TexVertex &t = mesh.mapChannels[0][k.tex[0]], &s = mesh.mapChannels[1][k.tex[1]];
        const std::array<float, 10> key = {p.x, p.y, p.z, n.x, n.y, n.z, t.u, t.v, s.u, s.v};
        size_t i = 0;
        while (i < keys.size() && !near(keys[i], key)) ++i;
        if (i == keys.size()) keys.push_back(key), firstCorners.push_back(c);
        indices.push_back((uint16_t)i);
    }
    static Welder welder;  // reused from mesh to mesh, as in the writer: nothing of one mesh may reach the next
    welder.weld(mesh, twoSets);
    ASSERT_EQ(firstCorners.size(), (size_t)welder.unique.count);
    for (size_t i = 0; i < firstCorners.size(); ++i) {
        const WeldKey key = makeWeldKey(mesh, mesh.faces[firstCorners[i] / 3].corners[2 - firstCorners[i] % 3], twoSets);
        ASSERT_EQ(0, std::memcmp(&key, &welder.unique.items[i], sizeof key));
    }
    ASSERT_EQ(indices, std::vector<uint16_t>(welder.indices.items, welder.indices.items + welder.indices.count));
}

// Values crowding where a spatial search goes wrong: signed zeros, denormals, values around 2^23, huge and
// non-finite ones, cell faces of every cell size.
static float freshValue(std::mt19937& rng, float scale) {
    static const float special[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-5f, -1e-5f, 1e-45f, -1e-45f, 1e-40f, 1e30f,
                                    -1e30f, 3e38f, 8388608.0f, 8388607.5f, -8388608.0f, 16777216.0f, 4194303.75f};
    const uint32_t choice = rng() % 100;
    if (choice < 2) return choice ? NAN : rng() % 2 ? INFINITY : -INFINITY;
    if (choice < 30) return special[rng() % (sizeof special / sizeof special[0])];
    if (choice < 70) return (float)((int)(rng() % 257) - 128) / 8192.0f * scale;  // cell faces
    if (choice < 85) return std::ldexp((float)((int)(rng() % 2001) - 1000), -24 - (int)(rng() % 8));
    return std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng) * scale;
}

// Entries drawn afresh or copied from an earlier one, a third of the components moved to at, inside or outside
// the tolerance, give or take two ulps: duplicates and chains a ~ b ~ c in every component.
template <typename T>
static void pool(std::mt19937& rng, float scale, Array<T>& entries, int count) {
    static const float steps[] = {0.0f, 1e-5f, 0.5e-5f, 0.7e-5f, 1.3e-5f, 2e-5f};
    const int n = sizeof(T) / sizeof(float);
    entries.resize(count);
    float* v = (float*)(void*)entries.items;
    for (int i = 0; i < count; ++i)
        for (int c = 0, from = (int)(rng() % (i + 1)) - 1; c < n; ++c) {
            float& b = v[i * n + c] = from < 0 ? freshValue(rng, scale) : v[from * n + c];
            if (from < 0 || rng() % 3 != 0) continue;
            b += (rng() % 2 ? 1 : -1) * steps[rng() % 6];
            for (int nudges = (int)(rng() % 5) - 2; nudges != 0; nudges += nudges > 0 ? -1 : 1)
                b = std::nextafter(b, nudges > 0 ? INFINITY : -INFINITY);
        }
}

// 10,000 small meshes, then a few large ones: long chains, hash collisions.
TEST(Weld, MatchesTheLinearScanOnRandomMeshes) {
    ensureServices();
    for (uint32_t seed = 1; seed <= 10012 && !HasFatalFailure(); ++seed) {
        std::mt19937 rng(seed);
        const float scale = std::ldexp(1.0f, (int)(rng() % 4) * 6 - 12);  // 1/4096 to 64
        const int triangles = seed <= 10000 ? 1 + (int)(rng() % 40) : 2000;
        Mesh mesh;
        pool(rng, scale, mesh.vertices, seed <= 10000 ? 1 + (int)(rng() % 24) : 3000);
        pool(rng, scale, mesh.normals, 1 + (int)(rng() % 4));
        for (MapChannel& set : mesh.mapChannels) pool(rng, scale, set, 1 + (int)(rng() % 4));
        mesh.faces.resize(triangles);
        for (int32_t t = 0; t < triangles; ++t)
            for (FaceCorner& k : mesh.faces[t].corners)
                k = {(int32_t)(rng() % mesh.vertices.count), (int32_t)(rng() % mesh.normals.count),
                     {(int32_t)(rng() % mesh.mapChannels[0].count), (int32_t)(rng() % mesh.mapChannels[1].count)}};
        for (bool twoSets : {false, true}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", two sets " << twoSets);
            expectSameWeld(mesh, twoSets);
        }
    }
}

// Two keys on either side of an edge or a corner where cells meet, each near the faces there: the cells across
// the faces are empty, only the one across the edge or corner holds the other key. On the position axes (cells
// 2^-10 wide, positions of their own) and on the normal axes (slots 2^-8 wide, three shared positions).
static void expectWeldAcrossCellEdgesAndCorners(bool onNormals) {
    const float nudge = 0.3e-5f, slot = onNormals ? 256.0f : 1024.0f;
    Mesh mesh;
    mesh.mapChannels[0].push({0, 0}), mesh.mapChannels[1].push({0, 0});
    if (!onNormals) mesh.normals.push({0, 0, 1});
    for (int k = 0; k < 3 && onNormals; ++k) mesh.vertices.push({(float)k, 0.0f, 0.0f});
    // Small triangles, so that position cells stay 2^-10 wide; the other two corners lie ten cells away.
    auto triangle = [&](Vec3 p, int away) {
        MeshFace& face = mesh.faces.pushCleared();
        const int32_t normal = onNormals ? mesh.normals.push(p) : 0;
        for (int k = 0; k < 3; ++k) {
            Vec3 corner = p;
            (&corner.x)[away] += 0.01f * (float)k;
            face.corners[k] = {onNormals ? k : mesh.vertices.push(corner), normal, {0, 0}};
        }
    };
    int pair = 0;
    for (int axes = 3; axes < 8; ++axes) {
        if (axes == 4) continue;  // one axis is a face
        for (int signs = 0; signs < 8; ++signs, ++pair) {
            Vec3 a, b;
            for (int k = 0; k < 3; ++k) {
                // Faces lie at odd multiples of half a cell; away from them, the middle of a cell.
                const float at = (float)(2 * (8 * pair + k) + 1) / (2 * slot) + ((axes >> k) & 1 ? 0.0f : 0.5f / slot);
                const float side = (axes >> k) & 1 ? ((signs >> k) & 1 ? nudge : -nudge) : 0.0f;
                (&a.x)[k] = at - side, (&b.x)[k] = at + side;
            }
            const int away = (axes & 1) == 0 ? 0 : (axes & 2) == 0 ? 1 : 2;
            triangle(a, away), triangle(b, away);
        }
    }
    expectSameWeld(mesh, false);
    Welder welder;
    welder.weld(mesh, false);
    EXPECT_EQ(3 * pair, welder.unique.count);  // the second triangle of each pair welds whole
}

TEST(Weld, MatchesTheLinearScanAcrossCellEdgesAndCorners) {
    ensureServices();
    expectWeldAcrossCellEdgesAndCorners(false);
}

TEST(Weld, MatchesTheLinearScanAcrossNormalCellEdgesAndCorners) {
    ensureServices();
    expectWeldAcrossCellEdgesAndCorners(true);
}

// Positions far apart, each with many keys, as at the apex of a fan: only the normal axes keep them from one
// long chain. Half the corners sit on two equal positions.
TEST(Weld, MatchesTheLinearScanWhereKeysCrowdPositions) {
    ensureServices();
    for (uint32_t seed = 1; seed <= 20 && !HasFatalFailure(); ++seed) {
        std::mt19937 rng(seed);
        Mesh mesh;
        mesh.vertices.push({-1.0f, -1.0f, 0.0f}), mesh.vertices.push({-1.0f, -1.0f, 0.0f});
        for (int p = 0; p < 60; ++p) mesh.vertices.push({(float)(p % 8), (float)(p / 8), 0.25f * (float)(p % 3)});
        pool(rng, 1.0f, mesh.normals, 400);
        for (MapChannel& set : mesh.mapChannels) pool(rng, 1.0f, set, 3);
        mesh.faces.resize(1500);
        for (int32_t t = 0; t < mesh.faces.count; ++t)
            for (FaceCorner& k : mesh.faces[t].corners)
                k = {rng() % 2 ? (int32_t)(rng() % 2) : (int32_t)(rng() % mesh.vertices.count),
                     (int32_t)(rng() % mesh.normals.count), {(int32_t)(rng() % 3), (int32_t)(rng() % 3)}};
        for (bool twoSets : {false, true}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", two sets " << twoSets);
            expectSameWeld(mesh, twoSets);
        }
    }
}

// A quad of two triangles sharing an edge, one set: corners go C, B, A, so v2, v1, v0 come first and v3 last.
// 4 records, 6 indices, no normal records: a 176-byte vertex stream section.
TEST(Weld, QuadSharesItsEdge) {
    ensureServices();
    Mesh mesh;
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) mesh.vertices.push({c[0], c[1], 0}), mesh.mapChannels[0].push({c[0], c[1]});
    mesh.normals.push({0, 0, 1}), mesh.faces.resize(2);
    const int32_t order[6] = {0, 1, 2, 0, 2, 3};
    for (int k = 0; k < 6; ++k) mesh.faces[k / 3].corners[k % 3] = FaceCorner{order[k], 0, {order[k], 0}};
    PackBytes b;
    meshChunk(b, nullptr, 1,
              {{{1, 0, -1}, {0, 1, 0}, {1, 0}}, {{1, 0, -0.0f}, {0, 1, 0}, {1, 1}},
               {{0, 0, -0.0f}, {0, 1, 0}, {0, 1}}, {{0, 0, -1}, {0, 1, 0}, {0, 0}}},
              false, {0, 0, -1, 1, 0, -0.0f}, {0, 1, 2, 3, 0, 2}, {});
    EXPECT_EQ(176u, b.marks["subset count"] - b.marks["vertex count"]);
    EXPECT_EQ(b.tail({0}).data, packBytes(&mesh, kOptionWeld));
}
