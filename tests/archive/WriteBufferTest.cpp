#include "archive/WriteBuffer.h"
#include "platform/SysUtils.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;

// Counts the writes that reach it.
class CountingTarget : public TMemoryStream {
  public:
    int32_t Write(const void* buffer, int32_t count) override {
        ++Writes;
        return TMemoryStream::Write(buffer, count);
    }
    int Writes = 0;
};

TEST(WriteBuffer, GathersChunksIntoFewWritesInOrder) {
    Bytes data = test::PatternBytes(100000, 21);
    CountingTarget target;
    std::vector<uint8_t> buffer(4096);
    TWriteBufferStream stream(target, buffer);
    size_t pos = 0;
    // Chunks smaller than, equal to and larger than the buffer.
    for (size_t step : {1u, 100u, 4095u, 4096u, 5000u, 3u, 20000u}) {
        for (int i = 0; i < 3 && pos < data.size(); ++i) {
            size_t n = std::min(step, data.size() - pos);
            ASSERT_EQ(stream.Write(data.data() + pos, static_cast<int32_t>(n)),
                      static_cast<int32_t>(n));
            pos += n;
        }
    }
    stream.Write(data.data() + pos, static_cast<int32_t>(data.size() - pos));
    EXPECT_LT(target.Data().size(), data.size()); // some still gathered
    stream.Flush();
    EXPECT_EQ(target.Data(), data);
    EXPECT_LE(target.Writes, 40);
    EXPECT_EQ(stream.Seek(0, SeekOrigin::Current), static_cast<int64_t>(data.size()));
}

TEST(WriteBuffer, ShortTargetWriteIsAnError) {
    class Full : public TStream {
      public:
        int32_t Read(void*, int32_t) override { return 0; }
        int32_t Write(const void*, int32_t count) override { return count / 2; }
        int64_t Seek(int64_t, SeekOrigin) override { return 0; }
    } full;
    std::vector<uint8_t> buffer(16);
    TWriteBufferStream stream(full, buffer);
    Bytes data(10, 1);
    stream.Write(data.data(), 10);
    EXPECT_THROW(stream.Flush(), EWriteError);
}

} // namespace
} // namespace oru
