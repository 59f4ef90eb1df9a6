#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// Puts of one byte to over two buffer loads arrive whole and in order, in writes of about a buffer each.
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
