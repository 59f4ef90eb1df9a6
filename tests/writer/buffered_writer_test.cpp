#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// Puts of one byte to over two buffer loads arrive whole and in order, in writes of about a buffer each.
TEST(BufferedWriter, KeepsEveryByteAcrossBufferBoundaries) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    {
        MemoryWriteStream stream;
        BufferedWriter out(&stream);
        std::vector<unsigned char> expected;
        for (int32_t n : {1, 2, 7, 4093, 100003, size + 5, 3, size - 100, 2 * size + 1, 1, size, 17}) {
            std::vector<unsigned char> piece((size_t)n);
            for (size_t k = 0; k < piece.size(); ++k) piece[k] = (unsigned char)(expected.size() + k);
            if (n == size) {
                // Room asked for and filled in place, as the records are.
                std::memcpy(out.reserve(n), piece.data(), (size_t)n);
                out.commit(n);
            } else {
                out.put(piece.data(), n);
            }
            out.putU32(0xC1D2E3F4);
            expected.insert(expected.end(), piece.begin(), piece.end());
            expected.insert(expected.end(), {0xF4, 0xE3, 0xD2, 0xC1});
            EXPECT_EQ((int64_t)expected.size(), out.position());
        }
        EXPECT_TRUE(out.flush());
        EXPECT_EQ(expected, stream.bytes);
        EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 2);
    }
}

// Once a write fails, no later one is tried and flush reports the failure.
TEST(BufferedWriter, StopsWritingAtTheFirstFailure) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    {
        MemoryWriteStream stream;
        stream.failAfter = 2 * (int64_t)size + 10;
        BufferedWriter out(&stream);
        std::vector<unsigned char> chunk(4096, 7);
        for (int i = 0; i < 8 * size / 4096; ++i) out.put(chunk.data(), (int32_t)chunk.size());
        EXPECT_FALSE(out.flush());
        EXPECT_TRUE(out.failed());
        EXPECT_EQ(3, stream.writeCalls);  // two full buffers, then the failing one
        EXPECT_EQ(2 * (size_t)size, stream.bytes.size());
        EXPECT_EQ(8 * (int64_t)size, out.position());
    }
}
