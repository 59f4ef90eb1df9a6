#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"
#include "writer/weld.h"
#include "writer/weld_key.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

const float kInf = std::numeric_limits<float>::infinity();

// The reference: each corner, third to first, scans the unique keys from the
// first; near means every component within 1e-5f, the difference taken in
// double, NaN never near. The second set counts only with two sets.
void expectSameWeld(const Mesh& mesh, bool twoSets, uint32_t seed) {
    auto near = [&](const WeldKey& a, const WeldKey& b) {
        float x[10], y[10];  // position, normal, first set, second set
        std::memcpy(x, &a, sizeof x);
        std::memcpy(y, &b, sizeof y);
        for (int n = 0; n < (twoSets ? 10 : 8); ++n)
            if (!(std::fabs((double)x[n] - (double)y[n]) <= (double)1e-5f)) return false;
        return true;
    };
    std::vector<WeldKey> keys;
    std::vector<int32_t> firstCorners;
    std::vector<uint16_t> indices;
    for (int32_t c = 0; c < 3 * mesh.faces.count; ++c) {
        const WeldKey key = makeWeldKey(mesh, mesh.faces[c / 3].corners[2 - c % 3], twoSets);
        size_t i = 0;
        while (i < keys.size() && !near(keys[i], key)) ++i;
        if (i == keys.size()) keys.push_back(key), firstCorners.push_back(c);
        indices.push_back((uint16_t)i);
    }
    static Welder welder;  // kept from mesh to mesh, as in the writer
    welder.weld(mesh, twoSets);
    const Array<int32_t>& u = welder.unique;
    const Array<uint16_t>& x = welder.indices;
    ASSERT_EQ(firstCorners, std::vector<int32_t>(u.items, u.items + u.count)) << seed << " " << twoSets;
    ASSERT_EQ(indices, std::vector<uint16_t>(x.items, x.items + x.count)) << seed << " " << twoSets;
}

// Random meshes whose values crowd where a spatial search goes wrong: the
// tolerance edge in every component, cell faces, signed zeros, denormals,
// values around 2^23, huge and non-finite values, duplicates, and chains of
// values each within the tolerance of the one before.
struct MeshMaker {
    std::mt19937 rng;
    float scale = 1;

    int below(int n) { return (int)(rng() % (uint32_t)n); }
    float base() {
        static const float special[] = {0.0f,  -0.0f,  1.0f,  -1.0f, 0.5f,  1e-5f,      -1e-5f,
                                        1e-45f, -1e-45f, 1e-40f, 1e30f, -1e30f, 3e38f, 8388608.0f,
                                        8388607.5f, -8388608.0f, 16777216.0f, 4194303.75f};
        const int choice = below(100);
        if (choice < 2) return choice == 0 ? (below(2) ? kInf : -kInf) : std::nanf("");
        if (choice < 30) return special[below(sizeof special / sizeof special[0])];
        if (choice < 70) return (float)(below(257) - 128) / 8192.0f * scale;  // cell faces
        if (choice < 85) return std::ldexp((float)(below(2001) - 1000), -24 - below(8));
        return std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng) * scale;
    }
    // A value at, inside or outside the tolerance of a, give or take ulps.
    float nearby(float a) {
        static const float steps[] = {0.0f, 1e-5f, 0.5e-5f, 0.7e-5f, 1.3e-5f, 2e-5f};
        float b = below(2) ? a + steps[below(6)] : a - steps[below(6)];
        for (int nudges = below(5) - 2; nudges != 0; nudges += nudges > 0 ? -1 : 1)
            b = std::nextafter(b, nudges > 0 ? kInf : -kInf);
        return b;
    }
    // Entries drawn afresh or copied from an earlier one, some components moved nearby.
    template <typename T>
    void pool(Array<T>& entries, int count) {
        const int n = sizeof(T) / sizeof(float);
        entries.resize(count);
        float* values = (float*)(void*)entries.items;
        for (int i = 0; i < count; ++i) {
            const int from = below(i + 1) - 1;
            for (int c = 0; c < n; ++c)
                values[i * n + c] = from < 0        ? base()
                                    : below(3) == 0 ? nearby(values[from * n + c])
                                                    : values[from * n + c];
        }
    }
    void fill(Mesh& mesh, int triangles, int positions) {
        static const float scales[] = {1.0f, 1.0f / 64, 1.0f / 1024, 64.0f};
        scale = scales[below(4)];
        pool(mesh.vertices, positions);
        pool(mesh.normals, 1 + below(4));
        pool(mesh.mapChannels[0], 1 + below(4));
        pool(mesh.mapChannels[1], 1 + below(4));
        mesh.faces.resize(triangles);
        for (int32_t t = 0; t < triangles; ++t)
            for (FaceCorner& corner : mesh.faces[t].corners)
                corner = {below(mesh.vertices.count), below(mesh.normals.count),
                          {below(mesh.mapChannels[0].count), below(mesh.mapChannels[1].count)}};
    }
};

}  // namespace

// Many small meshes, then a few large ones: long chains, hash collisions,
// every cell size.
TEST(Weld, MatchesTheLinearScanOnRandomMeshes) {
    ensureServices();
    for (uint32_t seed = 1; seed <= 10012 && !HasFatalFailure(); ++seed) {
        MeshMaker maker{std::mt19937(seed)};
        Mesh mesh;
        if (seed <= 10000) maker.fill(mesh, 1 + maker.below(40), 1 + maker.below(24));
        else maker.fill(mesh, 2000, 3000);
        for (bool twoSets : {false, true}) expectSameWeld(mesh, twoSets, seed);
    }
}

// A quad of two triangles sharing an edge, one set: corners go C, B, A, so v2,
// v1, v0 come first and v3 last. 4 records, 6 indices, no normal records: a
// 176-byte vertex stream section.
TEST(Weld, QuadSharesItsEdge) {
    ensureServices();
    Mesh mesh;
    const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& c : corners) mesh.vertices.push({c[0], c[1], 0}), mesh.mapChannels[0].push({c[0], c[1]});
    mesh.normals.push({0, 0, 1});
    mesh.faces.resize(2);
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
