#include "archive/CompressionUtils.h"
#include "archive/Crc32.h"
#include "archive/OruZlib.h"

#include "ArchiveTestSupport.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Takes at most half of what it is offered, as a full disk might.
class HalfWriteStream : public TMemoryStream {
  public:
    int32_t Write(const void* buffer, int32_t count) override {
        return TMemoryStream::Write(buffer, count > 1 ? count / 2 : count);
    }
};

TEST(ZlibStream, CorruptDataRaisesZlibErrorWithZlibsOwnText) {
    // Block type 3 does not exist.
    TMemoryStream source(Bytes{0xFF, 0xFF, 0xFF, 0xFF});
    TZlibDecompressionStream inflater(source);
    uint8_t out[64];
    EXPECT_EQ(test::MessageOf<EZlibError>([&] { inflater.Read(out, sizeof out); }),
              "zlib error.\r\ninvalid block type (-3)");
}

// Reads in odd chunks: a full output window keeps the rest for the next read, and
// the stream's end is where the data end, however much is asked for after it.
TEST(ZlibStream, ChunkedReadsDeliverTheDataThenZero) {
    Bytes data = test::PatternBytes(300000, 4);
    TMemoryStream source(test::RawDeflate(data));
    TZlibDecompressionStream inflater(source);
    Bytes out;
    Bytes chunk(777);
    int32_t n;
    while ((n = inflater.Read(chunk.data(), 777)) > 0) {
        ASSERT_TRUE(n == 777 || out.size() + n == data.size());
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    EXPECT_EQ(out, data);
    EXPECT_EQ(inflater.Read(chunk.data(), 100), 0);
}

TEST(ZlibStream, TruncatedDataYieldFewerBytesWithoutAnError) {
    Bytes data = test::PatternBytes(50000, 2);
    Bytes packed = test::RawDeflate(data);
    packed.resize(packed.size() / 2);
    TMemoryStream source(packed);
    TZlibDecompressionStream inflater(source);
    Bytes out(data.size());
    int32_t total = 0, n;
    while ((n = inflater.Read(out.data() + total, 1000)) > 0)
        total += n;
    EXPECT_GT(total, 0);
    EXPECT_LT(total, static_cast<int32_t>(data.size()));
}

TEST(ZlibStream, InputLimitIsNeverExceeded) {
    Bytes packed = test::RawDeflate(test::PatternBytes(20000));
    TMemoryStream source(Concat(packed, Bytes(100000, 0xEE)));
    TZlibDecompressionStream inflater(source);
    Bytes out(30000);
    int64_t consumed = 0;
    int32_t n =
        inflater.LimitedRead(out.data(), 30000, consumed, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(n, 20000);
    EXPECT_EQ(consumed, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(source.GetPosition(), static_cast<int64_t>(packed.size()));
}

struct UncompressRun {
    TOruCompressionInfo Info;
    TMemoryStream Source;
    TMemoryStream Dest;
    std::vector<int64_t> Progress;

    UncompressRun(Bytes source, bool stored, int64_t compressedSize, uint32_t crc = 0) {
        Source.Data() = std::move(source);
        Info.Source = &Source;
        Info.Dest = &Dest;
        Info.Options.Stored = stored;
        Info.CompressedSize = compressedSize;
        Info.Crc = crc;
        Info.OnProgress = [this](TOruCompressionInfo& i) { Progress.push_back(i.BytesOut); };
    }
};

TEST(Uncompress, DeflatedMemberCountsAndCrc) {
    Bytes data = test::PatternBytes(100000, 8);
    Bytes packed = test::RawDeflate(data);
    // Bytes after the member must stay unread.
    UncompressRun run(Concat(packed, Bytes(500, 0x77)), false, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(Uncompress(run.Info), 100000);
    EXPECT_EQ(run.Dest.Data(), data);
    EXPECT_EQ(run.Info.Size, 100000);
    EXPECT_EQ(run.Info.BytesOut, 100000);
    EXPECT_EQ(run.Info.CompressedSize, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(run.Info.Crc, ~Crc32UpdateBitwise(0xFFFFFFFFu, data.data(), data.size()));
    ASSERT_FALSE(run.Progress.empty());
    EXPECT_TRUE(std::is_sorted(run.Progress.begin(), run.Progress.end()));
    EXPECT_EQ(run.Progress.back(), 100000);
}

TEST(Uncompress, StoredMemberStopsAtItsCompressedSize) {
    Bytes data = test::PatternBytes(30000, 6);
    UncompressRun run(Concat(data, Bytes(40000, 0x55)), true, 30000);
    EXPECT_EQ(Uncompress(run.Info), 30000);
    EXPECT_EQ(run.Dest.Data(), data);
    EXPECT_EQ(run.Info.Crc, test::ReferenceCrc(data));
    EXPECT_EQ(run.Info.CompressedSize, 30000);
}

TEST(Uncompress, CompressedSizeZeroMeansNoInputLimit) {
    Bytes data = test::PatternBytes(40000, 6);
    UncompressRun run(data, true, 0);
    EXPECT_EQ(Uncompress(run.Info), 40000);
    EXPECT_EQ(run.Dest.Data(), data);
    EXPECT_EQ(run.Info.CompressedSize, 40000);
}

TEST(Uncompress, EncryptedStoredMemberYieldsExactlyItsData) {
    test::TestArchive a;
    Bytes data = test::PatternBytes(5000, 1);
    const uint32_t crc = test::ReferenceCrc(data);
    // The archive builder's cipher output for one stored member: header + data.
    a.Members.push_back({.Name = "m", .Data = data, .Password = "pw"});
    Bytes zip = a.Build();
    Bytes body(zip.begin() + 30 + 1, zip.begin() + 30 + 1 + 12 + 5000);
    UncompressRun run(Concat(body, Bytes(100, 0x33)), true, 12 + 5000, crc);
    run.Info.Options.Password = "pw";
    EXPECT_EQ(Uncompress(run.Info), 5000);
    EXPECT_EQ(run.Dest.Data(), data);
    EXPECT_EQ(run.Info.CompressedSize, 12 + 5000);
    EXPECT_EQ(run.Info.Crc, crc);
}

TEST(Uncompress, OutputBeyondTheLimitStopsBeforeItIsWritten) {
    Bytes packed = test::RawDeflate(Bytes(5000000, 0));
    UncompressRun run(packed, false, static_cast<int64_t>(packed.size()));
    run.Info.OutputLimit = 1000;
    EXPECT_EQ(test::MessageOf<EDataSizeError>([&] { Uncompress(run.Info); }),
              "The data exceed their declared size of 1000 bytes");
    EXPECT_LE(run.Dest.Data().size(), 1000u);

    Bytes exact = test::PatternBytes(30000);
    UncompressRun fits(test::RawDeflate(exact), false, 0);
    fits.Info.OutputLimit = 30000;
    EXPECT_EQ(Uncompress(fits.Info), 30000);

    UncompressRun stored(exact, true, 30000);
    stored.Info.OutputLimit = 29999;
    EXPECT_THROW(Uncompress(stored.Info), EDataSizeError);
}

TEST(Uncompress, ErrorsOfTheDataAndTheDestinationPassThrough) {
    UncompressRun corrupt(Bytes{0xFF, 0xFF, 0xFF}, false, 3);
    EXPECT_THROW(Uncompress(corrupt.Info), EZlibError);

    // A destination that takes less than offered must not end as a success.
    Bytes data = test::PatternBytes(1000);
    UncompressRun run(test::RawDeflate(data), false, 0);
    HalfWriteStream half;
    run.Info.Dest = &half;
    EXPECT_THROW(Uncompress(run.Info), EWriteError);
}

TEST(UncompressionStream, DeliversTheMemberAndKeepsItsCounts) {
    Bytes data = test::PatternBytes(70000, 12);
    Bytes packed = test::RawDeflate(data);
    TMemoryStream source(Concat(packed, Bytes(64, 0x99)));
    TOruCompressionInfo info;
    info.Source = &source;
    info.CompressedSize = static_cast<int64_t>(packed.size());
    TOruUncompressionStream stream(info);
    Bytes out;
    Bytes chunk(4000);
    int32_t n;
    while ((n = stream.Read(chunk.data(), 4000)) > 0)
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    EXPECT_EQ(out, data);
    EXPECT_EQ(stream.Info().BytesIn, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(~stream.Info().Crc, test::ReferenceCrc(data));
    EXPECT_EQ(stream.Seek(0, SeekOrigin::Begin), -1);
    EXPECT_EQ(stream.Write(chunk.data(), 10), 0);
}

TEST(UncompressionStream, RefusesStoredDataAndBoundsItsOutput) {
    TMemoryStream source(Bytes(10, 1));
    TOruCompressionInfo info;
    info.Source = &source;
    info.Options.Stored = true;
    EXPECT_EQ(test::MessageOf<Exception>([&] { TOruUncompressionStream stream(info); }),
              "The compression method is not supported");

    TMemoryStream bomb(test::RawDeflate(Bytes(1000000, 0)));
    info.Source = &bomb;
    info.Options.Stored = false;
    info.OutputLimit = 10000;
    TOruUncompressionStream stream(info);
    Bytes chunk(4096);
    EXPECT_THROW(
        {
            while (stream.Read(chunk.data(), 4096) > 0) {
            }
        },
        EDataSizeError);
}

} // namespace
} // namespace oru
