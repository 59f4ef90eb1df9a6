#include <gtest/gtest.h>

#include "support/test_support.h"
#include "writer/pack_bytes.h"

// Puts of one byte to over two buffer loads arrive whole and in order, in writes of about a buffer each. Once a
// write fails no later one is tried, and flush reports the failure.
TEST(BufferedWriter, KeepsEveryByteAndStopsAtTheFirstFailure) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    MemoryWriteStream stream, failing;
    BufferedWriter out(&stream);
    std::vector<unsigned char> expected;
    for (int32_t n : {1, 2, 7, 4093, 100003, size + 5, 3, size - 100, 2 * size + 1, 1, size, 17}) {
        std::vector<unsigned char> piece((size_t)n);
        for (size_t k = 0; k < piece.size(); ++k) piece[k] = (unsigned char)(expected.size() + k);
        if (n == size)  // room asked for and filled in place, as the records are
            std::memcpy(out.reserve(n), piece.data(), (size_t)n), out.commit(n);
        else
            out.put(piece.data(), n);
        out.putU32(0xC1D2E3F4);
        expected.insert(expected.end(), piece.begin(), piece.end());
        expected.insert(expected.end(), {0xF4, 0xE3, 0xD2, 0xC1});
        EXPECT_EQ((int64_t)expected.size(), out.position());
    }
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(expected, stream.bytes);
    EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 2);

    failing.failAfter = 2 * (int64_t)size + 10;
    BufferedWriter doomed(&failing);
    for (int i = 0; i < 8 * size / 4096; ++i) doomed.put(expected.data(), 4096);
    EXPECT_FALSE(doomed.flush() || !doomed.failed());
    EXPECT_EQ(3, failing.writeCalls);  // two full buffers, then the failing one
    EXPECT_EQ(2 * (size_t)size, failing.bytes.size());
    EXPECT_EQ(8 * (int64_t)size, doomed.position());
}
