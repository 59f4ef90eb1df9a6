#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// Puts of every size, from one byte to over two buffer loads, arrive whole and
// in order, in writes of about a buffer each.
TEST(BufferedWriter, KeepsEveryByteAcrossBufferBoundaries) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    MemoryWriteStream stream;
    BufferedWriter out(&stream);
    std::vector<unsigned char> expected;
    for (int32_t n : {1, 2, 7, 4093, 100003, size + 5, 3, size - 100, 2 * size + 1, 1}) {
        std::vector<unsigned char> piece((size_t)n);
        for (size_t k = 0; k < piece.size(); ++k) piece[k] = (unsigned char)(expected.size() + k);
        out.put(piece.data(), n);
        out.putU32(0xC1D2E3F4);
        expected.insert(expected.end(), piece.begin(), piece.end());
        expected.insert(expected.end(), {0xF4, 0xE3, 0xD2, 0xC1});
    }
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(expected, stream.bytes);
    EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 1);
}

// The largest mesh the reader accepts: its 3 MiB plain pack crosses the
// buffer in the middle of records, still goes out in four writes and loads.
TEST(BufferedWriter, LargestMeshGoesOutWholeInFewWrites) {
    ensureServices();
    Mesh mesh;
    mesh.vertices.push({1, 2, 3}), mesh.normals.push({0, 0, 1}), mesh.mapChannels[0].push({0, 0});
    mesh.faces.resize(21845);  // every corner uses entry 0
    int writes = 0;
    const std::string bytes = packBytes(&mesh, 0, &writes);
    EXPECT_LE(writes, 4);
    Pack pack;
    PackError error;
    ASSERT_TRUE(loadBytes(bytes, pack, error)) << error.offset << " " << error.field;
    EXPECT_EQ(3u * 21845, pack.meshes[0].vertexCount);
}
