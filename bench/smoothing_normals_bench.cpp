// Normals from smoothing groups on meshes up to the triangle limit (21,845
// triangles), shaped to show that the work grows with the corners alone:
// Field: a height field, every face in one group; each vertex has six faces.
// FieldMixed: the same, every face in two random groups of 32.
// Fan: every triangle meets at one apex, each in two random groups: one
// vertex with 21,845 faces and hundreds of group sets.
// FanFlat: the same fan without groups: 21,845 different normals at the apex.
// Run: build/bench/smoothing_normals_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "platform/allocator.h"
#include "scene/smoothing_normals.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

HeapAllocator heap;

struct Input {
    Mesh* mesh;
    std::vector<uint32_t> groups;
};

uint32_t twoGroups(std::mt19937& random) { return (1u << (random() % 32)) | (1u << (random() % 32)); }

Input makeField(int32_t triangles, bool mixed) {
    gAllocator = &heap;
    Input input{new (std::nothrow) Mesh, {}};
    const int columns = (int)std::sqrt(triangles / 2.0) + 2;
    for (int y = 0; y <= columns; ++y)
        for (int x = 0; x <= columns; ++x)
            input.mesh->vertices.tryPush({(float)x, (float)y, std::sin(0.3f * (float)x) * std::cos(0.2f * (float)y)});
    std::mt19937 random(7);
    for (int y = 0; y < columns; ++y)
        for (int x = 0; x < columns; ++x) {
            const int32_t v = y * (columns + 1) + x, quad[4] = {v, v + 1, v + columns + 2, v + columns + 1};
            for (int half = 0; half < 2 && input.mesh->faces.count < triangles; ++half) {
                MeshFace& face = *input.mesh->faces.tryPushCleared();
                face.corners[0].vertex = quad[0];
                face.corners[1].vertex = quad[1 + half];
                face.corners[2].vertex = quad[2 + half];
                input.groups.push_back(mixed ? twoGroups(random) : 1u);
            }
        }
    return input;
}

Input makeFan(int32_t triangles, bool grouped) {
    gAllocator = &heap;
    Input input{new (std::nothrow) Mesh, {}};
    const int32_t apex = input.mesh->vertices.tryPush({0.0f, 0.0f, 1.0f});
    const float step = 6.2831853f / (float)triangles;
    for (int32_t i = 0; i < triangles; ++i)
        input.mesh->vertices.tryPush({std::cos(step * (float)i), std::sin(step * (float)i), 0.0f});
    std::mt19937 random(7);
    for (int32_t i = 0; i < triangles; ++i) {
        MeshFace& face = *input.mesh->faces.tryPushCleared();
        face.corners[0].vertex = apex;
        face.corners[1].vertex = 1 + i;
        face.corners[2].vertex = 1 + (i + 1) % triangles;
        input.groups.push_back(grouped ? twoGroups(random) : 0u);
    }
    return input;
}

void run(benchmark::State& state, Input input) {
    for (auto _ : state) {
        input.mesh->normals.count = 0;
        if (!computeSmoothingNormals(*input.mesh, input.groups.data())) state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(input.mesh->normals.items);
    }
    state.counters["ns/corner"] = benchmark::Counter(3.0 * input.mesh->faces.count * (double)state.iterations(),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    delete input.mesh;
}

void Field(benchmark::State& state) { run(state, makeField((int32_t)state.range(0), false)); }
void FieldMixed(benchmark::State& state) { run(state, makeField((int32_t)state.range(0), true)); }
void Fan(benchmark::State& state) { run(state, makeFan((int32_t)state.range(0), true)); }
void FanFlat(benchmark::State& state) { run(state, makeFan((int32_t)state.range(0), false)); }

}  // namespace

BENCHMARK(Field)->Arg(2048)->Arg(21845)->Unit(benchmark::kMicrosecond);
BENCHMARK(FieldMixed)->Arg(2048)->Arg(21845)->Unit(benchmark::kMicrosecond);
BENCHMARK(Fan)->Arg(2048)->Arg(21845)->Unit(benchmark::kMicrosecond);
BENCHMARK(FanFlat)->Arg(2048)->Arg(21845)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
