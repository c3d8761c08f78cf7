// The layers below the archive reader: CRC-32, the PKWARE cipher, inflating and
// copying a member's data, and the gathering of its output into few writes.
#include "archive/CompressionUtils.h"
#include "archive/Crc32.h"
#include "archive/WriteBuffer.h"

#include "ArchiveTestSupport.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;

// Takes at most half of what it is offered, as a full disk might.
class HalfWriteStream : public TMemoryStream {
  public:
    int32_t Write(const void* buffer, int32_t count) override {
        return TMemoryStream::Write(buffer, count > 1 ? count / 2 : count);
    }
};

TEST(Crc32, CheckValueAndTableFormsAgreeWithTheBitwiseRoutine) {
    EXPECT_EQ(~Crc32UpdateBitwise(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    // Lengths around zlib's internal word and block boundaries, odd start offsets
    // and start values other than all-ones (the cipher keys start anywhere).
    Bytes data = test::PatternBytes(70000, 7);
    for (size_t i = 0; i < data.size(); i += 3)
        data[i] = static_cast<uint8_t>(i * 31);
    for (uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u})
        for (size_t offset : {0u, 1u, 3u})
            for (size_t length : {0u, 1u, 7u, 8u, 31u, 32u, 33u, 1000u, 65536u})
                EXPECT_EQ(Crc32Update(start, data.data() + offset, length),
                          Crc32UpdateBitwise(start, data.data() + offset, length))
                    << start << " " << offset << " " << length;
}

TEST(PkwareCrypto, TheKeysCarryAcrossReadsAndAShortHeaderIsAReadError) {
    const Bytes plain = test::PatternBytes(1000, 9);
    const uint32_t crc = 0xC3A51234u;
    const Bytes encrypted = test::EncryptMember(plain, "geheim", crc);
    TMemoryStream source(encrypted);
    int64_t header = -1;
    TPkwareDecryptionStream stream(source, "geheim", crc, header);
    EXPECT_EQ(header, 12);
    Bytes out;
    for (int32_t chunk : {1, 7, 100, 333, 1000}) {
        Bytes part(static_cast<size_t>(chunk));
        out.insert(out.end(), part.begin(), part.begin() + stream.Read(part.data(), chunk));
    }
    EXPECT_EQ(out, plain);

    TMemoryStream cut(Bytes(11, 0x42));
    EXPECT_THROW(TPkwareDecryptionStream(cut, "pw", 0, header), EReadError);
}

// Odd chunks: a full output window keeps the rest for the next read, the end of
// the stream is where the data end, and data cut short end early without an error
// (the member's CRC check reports those).
TEST(ZlibStream, ChunkedReadsDeliverTheDataThenZero) {
    const Bytes data = test::PatternBytes(300000, 4);
    const Bytes packed = test::RawDeflate(data);
    for (size_t keep : {packed.size(), packed.size() / 2}) {
        TMemoryStream source(Bytes(packed.begin(), packed.begin() + keep));
        TZlibDecompressionStream inflater(source);
        Bytes out, chunk(777);
        while (int32_t n = inflater.Read(chunk.data(), 777)) {
            ASSERT_TRUE(n == 777 || out.size() + n == data.size() || keep < packed.size());
            out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        }
        EXPECT_EQ(inflater.Read(chunk.data(), 100), 0);
        if (keep == packed.size())
            EXPECT_EQ(out, data);
        else
            EXPECT_TRUE(!out.empty() && out.size() < data.size()) << out.size();
    }
}

struct UncompressRow {
    const char* what;
    Bytes data;
    bool deflate;
    std::string password;
    Bytes trailer;   // what follows the member; it must stay unread
    bool unlimited;  // a compressed size of 0: no limit, the source's end is the member's
};

TEST(Uncompress, EachKindOfMemberYieldsItsDataCountsAndCrc) {
    const UncompressRow rows[] = {
        {"deflated", test::PatternBytes(100000, 8), true, "", Bytes(500, 0x77), false},
        {"stored", test::PatternBytes(30000, 6), false, "", Bytes(40000, 0x55), false},
        {"stored, no limit", test::PatternBytes(40000, 6), false, "", {}, true},
        {"encrypted stored", test::PatternBytes(5000, 1), false, "pw", Bytes(100, 0x33), false},
    };
    for (const UncompressRow& row : rows) {
        SCOPED_TRACE(row.what);
        const uint32_t crc = test::ReferenceCrc(row.data);
        Bytes member = row.deflate ? test::RawDeflate(row.data) : row.data;
        if (!row.password.empty())
            member = test::EncryptMember(member, row.password, crc);
        TMemoryStream source(member), dest;
        source.Data().insert(source.Data().end(), row.trailer.begin(), row.trailer.end());
        TOruCompressionInfo info;
        info.Source = &source;
        info.Dest = &dest;
        info.Options.Stored = !row.deflate;
        info.Options.Password = row.password;
        info.CompressedSize = row.unlimited ? 0 : static_cast<int64_t>(member.size());
        info.Crc = crc;
        EXPECT_EQ(Uncompress(info), static_cast<int64_t>(row.data.size()));
        EXPECT_EQ(dest.Data(), row.data);
        EXPECT_EQ(info.Size, static_cast<int64_t>(row.data.size()));
        EXPECT_EQ(info.CompressedSize, static_cast<int64_t>(member.size()));
        EXPECT_EQ(source.GetPosition(), static_cast<int64_t>(member.size()));
        EXPECT_EQ(info.Crc, crc);
    }
}

TEST(Uncompress, OutputBeyondTheLimitStopsBeforeItIsWritten) {
    const Bytes exact = test::PatternBytes(30000);
    struct {
        Bytes source;
        bool stored;
        int64_t limit;
        bool refused;
    } const rows[] = {
        {test::RawDeflate(Bytes(5000000, 0)), false, 1000, true},
        {test::RawDeflate(exact), false, 30000, false},
        {exact, true, 29999, true},
    };
    for (const auto& row : rows) {
        TMemoryStream source(row.source), dest;
        TOruCompressionInfo info;
        info.Source = &source;
        info.Dest = &dest;
        info.Options.Stored = row.stored;
        info.OutputLimit = row.limit;
        if (row.refused)
            EXPECT_EQ(test::MessageOf<EDataSizeError>([&] { Uncompress(info); }),
                      "The data exceed their declared size of " + std::to_string(row.limit) +
                          " bytes");
        else
            EXPECT_EQ(Uncompress(info), row.limit);
        EXPECT_LE(dest.Data().size(), static_cast<size_t>(row.limit));
    }
}

// A destination that takes less than offered must not end as a success, neither
// straight from the inflater nor through the write buffer.
TEST(Uncompress, AHalfWrittenDestinationRaisesTheWriteError) {
    TMemoryStream source(test::RawDeflate(test::PatternBytes(1000)));
    HalfWriteStream half;
    TOruCompressionInfo info;
    info.Source = &source;
    info.Dest = &half;
    EXPECT_THROW(Uncompress(info), EWriteError);

    std::vector<uint8_t> buffer(16);
    TWriteBufferStream buffered(half, buffer);
    buffered.Write(buffer.data(), 10);
    EXPECT_THROW(buffered.Flush(), EWriteError);
}

TEST(WriteBuffer, GathersChunksIntoFewWritesInOrder) {
    const Bytes data = test::PatternBytes(100000, 21);
    struct : TMemoryStream {
        int32_t Write(const void* buffer, int32_t count) override {
            ++writes;
            return TMemoryStream::Write(buffer, count);
        }
        int writes = 0;
    } target;
    std::vector<uint8_t> buffer(4096);
    TWriteBufferStream stream(target, buffer);
    size_t pos = 0;
    // Chunks smaller than, equal to and larger than the buffer.
    for (size_t step : {1u, 100u, 4095u, 4096u, 5000u, 3u, 20000u})
        for (int i = 0; i < 3 && pos < data.size(); ++i) {
            const size_t n = std::min(step, data.size() - pos);
            ASSERT_EQ(stream.Write(data.data() + pos, static_cast<int32_t>(n)), int32_t(n));
            pos += n;
        }
    stream.Write(data.data() + pos, static_cast<int32_t>(data.size() - pos));
    EXPECT_LT(target.Data().size(), data.size()); // some still gathered
    stream.Flush();
    EXPECT_EQ(target.Data(), data);
    EXPECT_LE(target.writes, 40);
    EXPECT_EQ(stream.Seek(0, SeekOrigin::Current), static_cast<int64_t>(data.size()));
}

} // namespace
} // namespace oru
