// Vertex stream producers, plain and welded, on the largest mesh the reader
// accepts (21,845 triangles, 65,535 corners), laid out five ways (see
// makeMesh). The weld tests check the welder's result.
// Run: build/bench/weld_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "platform/allocator.h"
#include "writer/buffered_writer.h"
#include "writer/vertex_stream.h"
#include "writer/weld.h"

#include <cmath>
#include <random>

namespace {

const int32_t kTriangles = 21845;

// Takes every write and keeps nothing.
class NullStream : public Stream {
public:
    int close() override { return 0; }
    int32_t read(void*, int32_t) override { return 0; }
    int write(const void* bytes, int32_t n) override {
        benchmark::DoNotOptimize(bytes);
        written += n;
        return 1;
    }
    int seek(int32_t) override { return 0; }
    int skip(int32_t) override { return 0; }
    int32_t tell() override { return -1; }
    int32_t size() override { return -1; }
    int64_t written = 0;
};

HeapAllocator heap;

// A height field of 105 x 105 quads, two triangles each, cut off at the
// triangle limit.
// Shared: smoothly shaded; each position, with its normal and texture
// vertex, serves about six corners.
// Soup: every corner has a position, normal and texture vertex of its own,
// jittered far beyond the tolerance: no two corners share a cell.
// Split: positions shared as in Shared, but every corner has a normal and
// texture vertex of its own: corners meet in cells but never weld.
// Flat: every corner has a position, normal and texture vertex of its own,
// equal to its neighbours' as in Shared: faces that each list their own.
// Fan: a flat-shaded cone whose every triangle meets at the apex with a
// normal of its own: thousands of distinct keys at one position.
enum Layout { kShared, kSoup, kSplit, kFlat, kFan };

Mesh* makeFan() {
    Mesh* mesh = new (std::nothrow) Mesh;
    mesh->faces.tryResize(kTriangles);
    mesh->mapChannels[0].tryPush({0.5f, 0.5f});
    const int32_t apex = mesh->vertices.tryPush({0.0f, 0.0f, 1.0f});
    const float step = 6.2831853f / (float)kTriangles;
    for (int32_t i = 0; i < kTriangles; ++i)
        mesh->vertices.tryPush({std::cos(step * (float)i), std::sin(step * (float)i), 0.0f});
    for (int32_t i = 0; i < kTriangles; ++i) {
        // Facing out and up, half-way round the triangle's rim edge.
        const float middle = step * ((float)i + 0.5f);
        const int32_t normal = mesh->normals.tryPush({0.7071f * std::cos(middle), 0.7071f * std::sin(middle), 0.7071f});
        const int32_t next = 1 + (i + 1) % kTriangles;
        MeshFace& face = mesh->faces[i];
        face.corners[0] = {apex, normal, {0, 0}};
        face.corners[1] = {1 + i, normal, {0, 0}};
        face.corners[2] = {next, normal, {0, 0}};
    }
    return mesh;
}

Mesh* makeMesh(Layout layout) {
    gAllocator = &heap;
    if (layout == kFan) return makeFan();
    const int columns = 106, rows = 106;
    Mesh* mesh = new (std::nothrow) Mesh;
    mesh->faces.tryResize(kTriangles);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-0.02f, 0.02f);
    auto position = [&](int i, int j, bool jittered) {
        const float x = 0.1f * (float)i, y = 0.1f * (float)j;
        Vec3 p = {x, y, 0.5f * std::sin(x) * std::cos(y)};
        if (jittered && layout != kFlat) p.x += jitter(rng), p.y += jitter(rng), p.z += jitter(rng);
        return mesh->vertices.tryPush(p);
    };
    auto normalAndTex = [&](int i, int j, bool jittered) {
        const float x = 0.1f * (float)i, y = 0.1f * (float)j;
        Vec3 n = {-0.5f * std::cos(x) * std::cos(y), 0.5f * std::sin(x) * std::sin(y), 1.0f};
        TexVertex t = {(float)i / (columns - 1), (float)j / (rows - 1)};
        if (jittered && layout != kFlat) n.x += jitter(rng), n.y += jitter(rng), t.u += jitter(rng), t.v += jitter(rng);
        mesh->mapChannels[0].tryPush(t);
        return mesh->normals.tryPush(n);
    };
    if (layout == kShared || layout == kSplit)
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < columns; ++i) {
                position(i, j, false);
                if (layout == kShared) normalAndTex(i, j, false);
            }
    auto corner = [&](int i, int j) {
        const int32_t grid = j * columns + i;
        const int32_t vertex = layout == kSoup || layout == kFlat ? position(i, j, true) : grid;
        const int32_t own = layout == kShared ? grid : normalAndTex(i, j, true);
        return FaceCorner{vertex, own, {own, 0}};
    };
    int32_t t = 0;
    for (int j = 0; j + 1 < rows && t < kTriangles; ++j) {
        for (int i = 0; i + 1 < columns && t < kTriangles; ++i) {
            MeshFace& a = mesh->faces[t++];
            a.corners[0] = corner(i, j), a.corners[1] = corner(i + 1, j), a.corners[2] = corner(i + 1, j + 1);
            if (t == kTriangles) break;
            MeshFace& b = mesh->faces[t++];
            b.corners[0] = corner(i, j), b.corners[1] = corner(i + 1, j + 1), b.corners[2] = corner(i, j + 1);
        }
    }
    return mesh;
}

Mesh* meshOf(Layout layout) {
    static Mesh* meshes[5] = {makeMesh(kShared), makeMesh(kSoup), makeMesh(kSplit), makeMesh(kFlat), makeMesh(kFan)};
    return meshes[layout];
}

void runStream(benchmark::State& state, Mesh* mesh, bool welded) {
    NullStream stream;
    BufferedWriter out(&stream);
    Welder scratch;  // as a pack's meshes share one
    for (auto _ : state) {
        if (welded)
            writeWeldedVertexStream(*mesh, out, false, scratch);
        else
            writePlainVertexStream(*mesh, out, false);
        out.flush();
    }
    Welder welder;
    welder.weld(*mesh, false);
    state.counters["unique"] = welder.unique.count;
    state.counters["bytes"] = (double)stream.written / (double)state.iterations();
}

void SharedPlain(benchmark::State& state) { runStream(state, meshOf(kShared), false); }
void SharedWelded(benchmark::State& state) { runStream(state, meshOf(kShared), true); }
void SoupPlain(benchmark::State& state) { runStream(state, meshOf(kSoup), false); }
void SoupWelded(benchmark::State& state) { runStream(state, meshOf(kSoup), true); }
void SplitPlain(benchmark::State& state) { runStream(state, meshOf(kSplit), false); }
void SplitWelded(benchmark::State& state) { runStream(state, meshOf(kSplit), true); }
void FlatPlain(benchmark::State& state) { runStream(state, meshOf(kFlat), false); }
void FlatWelded(benchmark::State& state) { runStream(state, meshOf(kFlat), true); }
void FanPlain(benchmark::State& state) { runStream(state, meshOf(kFan), false); }
void FanWelded(benchmark::State& state) { runStream(state, meshOf(kFan), true); }

}  // namespace

BENCHMARK(SharedPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(SharedWelded)->Unit(benchmark::kMicrosecond);
BENCHMARK(SoupPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(SoupWelded)->Unit(benchmark::kMicrosecond);
BENCHMARK(SplitPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(SplitWelded)->Unit(benchmark::kMicrosecond);
BENCHMARK(FlatPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(FlatWelded)->Unit(benchmark::kMicrosecond);
BENCHMARK(FanPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(FanWelded)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
