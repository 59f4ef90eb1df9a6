#include <gtest/gtest.h>

#include "writer/pack_reader.h"
#include "writer/vertex_stream.h"
#include "writer/writer_test_support.h"

namespace {

std::vector<unsigned char> plainSection(const Mesh& mesh, bool twoSets) {
    MemoryWriteStream stream;
    {
        BufferedWriter out(&stream);
        writePlainVertexStream(mesh, out, twoSets);
        out.flush();
    }
    return stream.bytes;
}

}  // namespace

TEST(PlainStream, NoTrianglesGiveCountsAndStartingBounds) {
    ensureServices();
    Mesh mesh;
    mesh.vertices.push({1, 2, 3});  // vertices that no face uses do not count
    Bytes expected;
    expected.u32(0).u32(0).startBounds().u32(0);
    for (bool twoSets : {false, true}) EXPECT_EQ(plainSection(mesh, twoSets), expected.v);
    EXPECT_EQ(expected.v.size(), 36u);
}

TEST(PlainStream, CornersSharingAllDataStillGetRecordsOfTheirOwn) {
    ensureServices();
    Mesh mesh;
    mesh.vertices.push({1, 1, 1});
    mesh.normals.push({0, 1, 0});
    mesh.mapChannels[0].push({0.5f, 0.5f});
    mesh.faces.push(MeshFace{});  // every corner of both faces uses entry 0
    mesh.faces.push(MeshFace{});
    Bytes expected;
    expected.u32(6);
    for (int i = 0; i < 6; ++i) expected.f3(1, 1, -1).f3(0, 0, 1).f32(0.5f).f32(0.5f);
    expected.u32(6);
    for (int i = 0; i < 6; ++i) expected.f3(0, 0, 1);
    expected.f3(1, 1, -1).f3(1, 1, -1).u32(6);
    for (int i = 0; i < 6; ++i) expected.u16((uint16_t)i);
    EXPECT_EQ(plainSection(mesh, false), expected.v);
}

// The largest mesh the reader accepts: its section (3 MiB) crosses the
// writer's buffer in the middle of records.
TEST(PlainStream, LargestMeshIsWrittenWholeInFewWrites) {
    ensureServices();
    const int32_t triangles = 21845, corners = 3 * triangles;
    Mesh mesh;
    for (int32_t i = 0; i < corners; ++i) {
        mesh.vertices.push({(float)i, (float)(2 * i), (float)(-i)});
        mesh.normals.push({(float)i, 0.5f, -1.0f});
        mesh.mapChannels[0].push({0.25f, (float)(i % 4) / 4});
    }
    for (int32_t t = 0; t < triangles; ++t) addFace(mesh, 3 * t);
    MemoryWriteStream stream;
    {
        BufferedWriter out(&stream);
        writePackTo(out, &mesh, 0);
        out.flush();
    }
    EXPECT_LE(stream.writeCalls, 4);
    std::vector<PackChunk> chunks;
    ASSERT_EQ(PackParser(stream.bytes).read(&chunks), "");
    const PackChunk& c = chunks[0];
    ASSERT_EQ(c.vertexCount(), (uint32_t)corners);
    ASSERT_EQ(c.normals.size(), 3u * corners);
    ASSERT_EQ(c.indices.size(), (size_t)corners);
    int mismatches = 0;
    for (int32_t r = 0; r < corners && mismatches < 5; ++r) {
        float s = (float)(r - r % 3 + 2 - r % 3);  // record r holds corner 2 - r % 3
        float record[8] = {s, -s, -2 * s, s, -1, 0.5f, 0.25f, 1.0f - (float)((int)s % 4) / 4};
        bool same = c.indices[r] == r && c.normals[3 * r] == s && c.normals[3 * r + 1] == -1 &&
                    c.normals[3 * r + 2] == 0.5f;
        for (int w = 0; w < 8; ++w) same = same && c.vertex(r, w) == record[w];
        if (!same) ADD_FAILURE() << "record " << r << " differs", ++mismatches;
    }
    float last = (float)(corners - 1);
    EXPECT_EQ(std::vector<float>(c.boundsMin, c.boundsMin + 3), (std::vector<float>{0, -last, -2 * last}));
    EXPECT_EQ(std::vector<float>(c.boundsMax, c.boundsMax + 3), (std::vector<float>{last, 0, 0}));
}
