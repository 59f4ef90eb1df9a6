#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/buffered_writer.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"
#include "writer/weld_key.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kTiny = std::numeric_limits<float>::denorm_min();

// The reference: each corner scans the unique list from its start, with its
// own reading of "near" (difference in double, NaN never near). Records the
// corner each unique key was first seen at.
bool referenceNear(const float* a, const float* b, int n) {
    for (int i = 0; i < n; ++i)
        if (!(std::fabs((double)a[i] - (double)b[i]) <= (double)1e-5f)) return false;
    return true;
}

void weldByScan(const Mesh& mesh, bool twoSets, std::vector<int32_t>& firstCorners,
                std::vector<uint16_t>& indices) {
    std::vector<WeldKey> unique;
    for (int32_t t = 0; t < mesh.faces.count; ++t) {
        for (int k = 2; k >= 0; --k) {
            const WeldKey key = makeWeldKey(mesh, mesh.faces[t].corners[k], twoSets);
            size_t i = 0;
            while (i < unique.size() && !(referenceNear(unique[i].position, key.position, 3) &&
                                          referenceNear(unique[i].normal, key.normal, 3) &&
                                          referenceNear(unique[i].tex, key.tex, twoSets ? 4 : 2)))
                ++i;
            if (i == unique.size()) unique.push_back(key), firstCorners.push_back((int32_t)indices.size());
            indices.push_back((uint16_t)i);
        }
    }
}

void expectSameWeld(const Mesh& mesh, bool twoSets, const std::string& what) {
    std::vector<int32_t> firstCorners;
    std::vector<uint16_t> indices;
    weldByScan(mesh, twoSets, firstCorners, indices);
    static Welder welder;  // kept from mesh to mesh, as in the writer
    welder.weld(mesh, twoSets);
    const Array<int32_t>& u = welder.unique;
    const Array<uint16_t>& x = welder.indices;
    ASSERT_EQ(firstCorners, std::vector<int32_t>(u.items, u.items + u.count)) << what << " sets " << twoSets;
    ASSERT_EQ(indices, std::vector<uint16_t>(x.items, x.items + x.count)) << what << " sets " << twoSets;
}

// Random meshes whose values crowd where a spatial search can go wrong: the
// tolerance edge, cell faces of every cell size, signed zeros, denormals,
// whole-number floats, huge and non-finite values, and chains of values each
// within the tolerance of the one before.
struct MeshMaker {
    std::mt19937 rng;
    float scale = 1;

    explicit MeshMaker(uint32_t seed) : rng(seed) {}
    int below(int n) { return (int)(rng() % (uint32_t)n); }

    float base() {
        static const float special[] = {0.0f,  -0.0f, 0.5f,   1.0f,   -1.0f,  1e-5f,      -1e-5f,
                                        kTiny, -kTiny, 1e-40f, 1e30f,  -1e30f, 3e38f,      8388608.0f,
                                        8388607.5f,    -8388608.0f,    16777216.0f,        4194303.75f};
        const int choice = below(100);
        if (choice < 2) return choice == 0 ? (below(2) ? kInf : -kInf) : kNaN;
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

    // count entries of n floats: some drawn afresh, the others copied from an
    // earlier entry with some components moved to nearby values.
    template <typename T>
    void pool(Array<T>& entries, int count) {
        const int n = sizeof(T) / sizeof(float);
        std::vector<float> values;
        for (int i = 0; i < count; ++i) {
            const int from = below(i + 1) - 1;
            for (int c = 0; c < n; ++c) {
                if (from < 0 || below(3) == 0) values.push_back(from < 0 ? base() : nearby(values[from * n + c]));
                else values.push_back(values[from * n + c]);
            }
        }
        entries.resize(count);
        std::memcpy((void*)entries.items, values.data(), values.size() * sizeof(float));
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

TEST(Weld, MatchesTheLinearScanOnRandomMeshes) {
    ensureServices();
    for (uint32_t seed = 1; seed <= 10000 && !HasFatalFailure(); ++seed) {
        MeshMaker maker(seed);
        Mesh mesh;
        maker.fill(mesh, 1 + maker.below(40), 1 + maker.below(24));
        expectSameWeld(mesh, false, "seed " + std::to_string(seed));
        expectSameWeld(mesh, true, "seed " + std::to_string(seed));
    }
}

// Many positions per mesh: long chains, hash collisions, all cell sizes.
TEST(Weld, MatchesTheLinearScanOnLargeMeshes) {
    ensureServices();
    for (uint32_t seed = 1; seed <= 12 && !HasFatalFailure(); ++seed) {
        MeshMaker maker(seed);
        Mesh mesh;
        maker.fill(mesh, 2000, 3000);
        expectSameWeld(mesh, false, "large seed " + std::to_string(seed));
        expectSameWeld(mesh, true, "large seed " + std::to_string(seed));
    }
}

void setTriangles(Mesh& mesh, std::initializer_list<FaceCorner> corners) {
    mesh.faces.resize((int32_t)corners.size() / 3);
    int32_t i = 0;
    for (const FaceCorner& corner : corners) mesh.faces[i / 3].corners[i % 3] = corner, ++i;
}

// Entries 0 and 1 differ in one component only; the third and second corner
// of a triangle use them, the first lies far away: 2 unique keys when the
// two are near, 3 otherwise.
TEST(Weld, ToleranceEdges) {
    ensureServices();
    struct Case {
        int component;  // 0-2 position, 3-5 normal, 6-7 first set, 8-9 second set
        float a, b;
        bool nearOneSet, nearTwoSets;
    } cases[] = {
        {0, 0.0f, 1e-5f, true, true},       {1, 0.0f, std::nextafter(1e-5f, 1.0f), false, false},
        {2, -0.0f, 0.0f, true, true},       {3, 1e-5f, -kTiny, true, true},  // rounds to 1e-5f
        {4, kInf, kInf, false, false},      {5, kNaN, kNaN, false, false},
        {6, 1e30f, 1e30f, true, true},      {7, 0.25f, 0.25f + 0.5e-5f, true, true},
        {0, 8388608.0f, 8388609.0f, false, false}, {9, 0.0f, 1.0f, true, false},
    };
    for (const Case& c : cases) {
        Mesh mesh;
        mesh.vertices.resize(3);
        mesh.normals.resize(2);
        mesh.mapChannels[0].resize(2);
        mesh.mapChannels[1].resize(2);
        float* entry[2][10];
        for (int e = 0; e < 2; ++e) {
            float* slots[10] = {&mesh.vertices[e].x, &mesh.vertices[e].y, &mesh.vertices[e].z,
                                &mesh.normals[e].x,  &mesh.normals[e].y,  &mesh.normals[e].z,
                                &mesh.mapChannels[0][e].u, &mesh.mapChannels[0][e].v,
                                &mesh.mapChannels[1][e].u, &mesh.mapChannels[1][e].v};
            std::memcpy(entry[e], slots, sizeof slots);
        }
        *entry[0][c.component] = c.a;
        *entry[1][c.component] = c.b;
        mesh.vertices[2] = {5, 5, 5};
        setTriangles(mesh, {{2, 0, {0, 0}}, {1, 1, {1, 1}}, {0, 0, {0, 0}}});
        for (bool twoSets : {false, true}) {
            Welder welder;
            welder.weld(mesh, twoSets);
            EXPECT_EQ((twoSets ? c.nearTwoSets : c.nearOneSet) ? 2 : 3, welder.unique.count)
                << "component " << c.component << " a " << c.a << " two sets " << twoSets;
        }
    }
}

// Collects what is written.
class ByteStream : public Stream {
public:
    std::string bytes;
    int close() override { return 0; }
    int32_t read(void*, int32_t) override { return 0; }
    int write(const void* data, int32_t n) override { return bytes.append((const char*)data, (size_t)n), 1; }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return (int32_t)bytes.size(); }
    int32_t size() override { return (int32_t)bytes.size(); }
};

std::string weldedSection(const Mesh& mesh, bool twoSets) {
    ByteStream stream;
    BufferedWriter out(&stream);
    writeWeldedVertexStream(mesh, out, twoSets);
    out.flush();
    return stream.bytes;
}

// Little-endian 32-bit words, floats and 16-bit indices.
struct Bytes {
    std::string text;
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) text += (char)(v >> (8 * i));
        return *this;
    }
    Bytes& f(std::initializer_list<float> values) {
        for (float v : values) {
            uint32_t bits;
            std::memcpy(&bits, &v, 4);
            u32(bits);
        }
        return *this;
    }
    Bytes& u16(std::initializer_list<int> values) {
        for (int v : values) text += (char)v, text += (char)(v >> 8);
        return *this;
    }
};

// A quad of two triangles sharing an edge, one texture set. Corners go C, B,
// A, so v2, v1, v0 come first and v3 last. Positions become (x, z, -y), the
// normal (0, 1, 0), texture vertices (u, 1 - v).
TEST(WeldedVertexStream, QuadSharesItsEdge) {
    ensureServices();
    Mesh mesh;
    mesh.vertices.resize(4);
    mesh.vertices[0] = {0, 0, 0}, mesh.vertices[1] = {1, 0, 0};
    mesh.vertices[2] = {1, 1, 0}, mesh.vertices[3] = {0, 1, 0};
    mesh.normals.resize(1);
    mesh.normals[0] = {0, 0, 1};
    mesh.mapChannels[0].resize(4);
    mesh.mapChannels[0][0] = {0, 0}, mesh.mapChannels[0][1] = {1, 0};
    mesh.mapChannels[0][2] = {1, 1}, mesh.mapChannels[0][3] = {0, 1};
    setTriangles(mesh, {{0, 0, {0, 0}}, {1, 0, {1, 0}}, {2, 0, {2, 0}},
                        {0, 0, {0, 0}}, {2, 0, {2, 0}}, {3, 0, {3, 0}}});
    const std::string section = weldedSection(mesh, false);
    EXPECT_EQ(176u, section.size());
    EXPECT_EQ(Bytes()
                  .u32(4)
                  .f({1, 0, -1, 0, 1, 0, 1, 0})
                  .f({1, 0, -0.0f, 0, 1, 0, 1, 1})
                  .f({0, 0, -0.0f, 0, 1, 0, 0, 1})
                  .f({0, 0, -1, 0, 1, 0, 0, 0})
                  .u32(0)
                  .f({0, 0, -1, 1, 0, -0.0f})
                  .u32(6)
                  .u16({0, 1, 2, 3, 0, 2})
                  .text,
              section);

    const float big = 3.4028235e38f;
    Mesh empty;
    EXPECT_EQ(Bytes().u32(0).u32(0).f({big, big, big, -big, -big, -big}).u32(0).text, weldedSection(empty, false));
}

// Two texture sets: records carry a zero word and both sets, and the normals
// go to normal records of their own, one per unique key.
TEST(WeldedVertexStream, TwoSetsWriteNormalRecords) {
    ensureServices();
    Mesh mesh;
    mesh.vertices.resize(3);
    mesh.vertices[0] = {0, 0, 0}, mesh.vertices[1] = {2, 0, 0}, mesh.vertices[2] = {0, 3, 0};
    mesh.normals.resize(3);
    mesh.normals[0] = {1, 0, 0}, mesh.normals[1] = {0, 1, 0}, mesh.normals[2] = {0, 0, 1};
    mesh.mapChannels[0].resize(1);
    mesh.mapChannels[0][0] = {0.25f, 0.75f};
    mesh.mapChannels[1].resize(1);
    mesh.mapChannels[1][0] = {0.5f, 0.5f};
    setTriangles(mesh, {{0, 0, {0, 0}}, {1, 1, {0, 0}}, {2, 2, {0, 0}}});
    EXPECT_EQ(Bytes()
                  .u32(3)
                  .f({0, 0, -3, 0, 0.25f, 0.25f, 0.5f, 0.5f})
                  .f({2, 0, -0.0f, 0, 0.25f, 0.25f, 0.5f, 0.5f})
                  .f({0, 0, -0.0f, 0, 0.25f, 0.25f, 0.5f, 0.5f})
                  .u32(3)
                  .f({0, 1, 0, 0, 0, 1, 1, 0, 0})
                  .f({0, 0, -3, 2, 0, -0.0f})
                  .u32(3)
                  .u16({0, 1, 2})
                  .text,
              weldedSection(mesh, true));
}

}  // namespace
