#include "archive/Crc32.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;

TEST(Crc32, BitwiseRoutineGivesTheStandardCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(~Crc32UpdateBitwise(0xFFFFFFFFu, text, 9), 0xCBF43926u);
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, text, 9), 0xCBF43926u);
}

TEST(Crc32, TableFormsAgreeWithTheBitwiseRoutine) {
    // Lengths around zlib's internal word and block boundaries, odd start offsets
    // and start values other than the usual all-ones (the cipher keys start anywhere).
    Bytes data = test::PatternBytes(70000, 7);
    for (size_t i = 0; i < data.size(); i += 3)
        data[i] = static_cast<uint8_t>(i * 31);
    for (uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
        for (size_t offset : {0u, 1u, 3u}) {
            for (size_t length : {0u, 1u, 7u, 8u, 31u, 32u, 33u, 1000u, 65536u}) {
                uint32_t expected = Crc32UpdateBitwise(start, data.data() + offset, length);
                EXPECT_EQ(Crc32Update(start, data.data() + offset, length), expected)
                    << "start " << start << " offset " << offset << " length " << length;
            }
        }
    }
    for (uint32_t start : {0u, 0xFFFFFFFFu, 0xDEADBEEFu}) {
        for (unsigned b = 0; b < 256; ++b) {
            uint8_t byte = static_cast<uint8_t>(b);
            ASSERT_EQ(Crc32UpdateByte(start, byte), Crc32UpdateBitwise(start, &byte, 1));
        }
    }
}

TEST(Crc32, ChunkedUpdatesEqualOneUpdate) {
    Bytes data = test::PatternBytes(50000, 3);
    uint32_t whole = Crc32Update(0xFFFFFFFFu, data.data(), data.size());
    uint32_t chunked = 0xFFFFFFFFu;
    size_t pos = 0;
    for (size_t step = 1; pos < data.size(); step = step * 3 + 1) {
        size_t n = std::min(step, data.size() - pos);
        chunked = Crc32Update(chunked, data.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(chunked, whole);
    EXPECT_EQ(~whole, test::ReferenceCrc(data));
}

} // namespace
} // namespace oru
