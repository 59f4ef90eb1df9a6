#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// Puts of every size, from single bytes to more than a buffer load, arrive
// whole and in order, in writes of about a buffer each.
TEST(BufferedWriter, KeepsEveryByteAcrossBufferBoundaries) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    MemoryWriteStream stream;
    std::vector<unsigned char> expected;
    BufferedWriter out(&stream);
    const int32_t lengths[] = {1, 2, 3, 4, 7, 4093, 100003, size + 5};
    const unsigned char fields[] = {0xB2, 0xA1, 0xF4, 0xE3, 0xD2, 0xC1};
    for (int round = 0; expected.size() < 4u * size; ++round) {
        std::vector<unsigned char> piece((size_t)lengths[round % 8]);
        for (size_t k = 0; k < piece.size(); ++k) piece[k] = (unsigned char)(expected.size() + k);
        out.put(piece.data(), (int32_t)piece.size());
        out.putU16(0xA1B2);
        out.putU32(0xC1D2E3F4);
        expected.insert(expected.end(), piece.begin(), piece.end());
        expected.insert(expected.end(), fields, fields + 6);
    }
    EXPECT_EQ(out.position(), (int64_t)expected.size());
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(stream.bytes, expected);
    EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 1);
}

// The largest mesh the reader accepts: its 3 MiB plain pack crosses the
// buffer in the middle of records and still goes out in four writes.
TEST(BufferedWriter, LargestMeshGoesOutWholeInFewWrites) {
    ensureServices();
    const int32_t corners = 3 * 21845;
    Mesh mesh;
    mesh.faces.resize(corners / 3);
    for (int32_t i = 0; i < corners; ++i) {
        mesh.vertices.push({(float)i, (float)(2 * i), (float)-i});
        mesh.normals.push({(float)i, 0.5f, -1.0f});
        mesh.mapChannels[0].push({0.25f, 0.5f});
        mesh.faces[i / 3].corners[i % 3] = FaceCorner{i, i, {i, i}};
    }
    int writes = 0;
    const std::string bytes = packBytes(&mesh, 0, &writes);
    EXPECT_LE(writes, 4);
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(bytes, pack, error)) << error.offset << " " << error.field;
    ASSERT_EQ((uint32_t)corners, pack.meshes[0].vertexCount);
    for (uint32_t r = 0; r < (uint32_t)corners; ++r) {
        const float s = (float)(r - r % 3 + 2 - r % 3);  // record r holds corner 2 - r % 3
        float p[3], n[3];
        vertexPosition(pack, pack.meshes[0], r, p);
        vertexNormal(pack, pack.meshes[0], r, n);
        if (p[0] != s || p[1] != -s || p[2] != -2 * s || n[0] != s || n[1] != -1 || n[2] != 0.5f)
            FAIL() << "record " << r;
    }
}
