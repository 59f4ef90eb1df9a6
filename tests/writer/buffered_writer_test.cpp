#include <gtest/gtest.h>

#include "writer/writer_test_support.h"

// Puts of every size, from single bytes to more than a buffer load, arrive
// whole and in order, in writes of about a buffer each.
TEST(BufferedWriter, KeepsEveryByteAcrossBufferBoundaries) {
    ensureServices();
    const int32_t size = BufferedWriter::kBufferSize;
    MemoryWriteStream stream;
    std::vector<unsigned char> expected;
    {
        BufferedWriter out(&stream);
        const int32_t lengths[] = {1, 2, 3, 4, 7, 4093, 100003, size + 5};
        std::vector<unsigned char> piece;
        unsigned char next = 0;
        for (int round = 0; expected.size() < 4u * size; ++round) {
            piece.resize((size_t)lengths[round % 8]);
            for (unsigned char& byte : piece) byte = next++;
            out.put(piece.data(), (int32_t)piece.size());
            expected.insert(expected.end(), piece.begin(), piece.end());
            out.putU16(0xA1B2);
            out.putU32(0xC1D2E3F4);
            const unsigned char fields[] = {0xB2, 0xA1, 0xF4, 0xE3, 0xD2, 0xC1};
            expected.insert(expected.end(), fields, fields + 6);
        }
        EXPECT_EQ(out.position(), (int64_t)expected.size());
        EXPECT_TRUE(out.flush());
    }
    EXPECT_EQ(stream.bytes, expected);
    EXPECT_LE(stream.writeCalls, (int)(expected.size() / size) + 1);
}
