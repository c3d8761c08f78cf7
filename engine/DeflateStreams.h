// Raw deflate (no zlib or gzip wrapper) as streams: a writer that compresses into
// another stream, and a reader that inflates one bounded region of a stream.
#pragma once

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace oru::patch {

class EDeflateError : public Exception {
  public:
    using Exception::Exception;
};

// Write-only. Finish() must be called to flush the last block; without it the
// output is incomplete (the destructor does not flush, as it cannot report errors).
class TDeflateWriter : public TStream {
  public:
    TDeflateWriter(TStream& sink, int level = 9);
    ~TDeflateWriter() override;

    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Read(void*, int32_t) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void Finish();

    uint64_t BytesIn() const { return in_; }
    uint64_t BytesOut() const { return out_; }

  private:
    void Pump(int flush);
    struct TState;
    std::unique_ptr<TState> z_;
    TStream& sink_;
    std::vector<uint8_t> buffer_;
    uint64_t in_ = 0, out_ = 0;
    bool finished_ = false;
};

// Read-only. Reads exactly compressedSize bytes from the source's current
// position and yields exactly expectedSize bytes; anything else is an error, so
// a damaged or oversized payload can never produce more than it declared.
class TInflateReader : public TStream {
  public:
    TInflateReader(TStream& source, uint64_t compressedSize, uint64_t expectedSize);
    ~TInflateReader() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void*, int32_t) override;
    // Only the current position can be asked for (or "sought" to).
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(expected_); }
    // Checks that the compressed data ends exactly where the output does.
    void Finish();

  private:
    struct TState;
    std::unique_ptr<TState> z_;
    TStream& source_;
    std::vector<uint8_t> buffer_;
    uint64_t compressedLeft_;
    uint64_t expected_;
    uint64_t produced_ = 0;
    bool streamEnd_ = false;
};

// A sink that only counts, for measuring a compressed size without keeping it.
class TCountingSink : public TStream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        count_ += static_cast<uint64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, SeekOrigin) override { return static_cast<int64_t>(count_); }
    uint64_t Count() const { return count_; }

  private:
    uint64_t count_ = 0;
};

} // namespace oru::patch
