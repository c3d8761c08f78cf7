// Raw inflate over a source stream. zlib is linked into the program, so its entry
// points are always there; the window bits are -15 because ZIP members carry bare
// deflate data without the zlib header and trailer.
#pragma once

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <zlib.h>

#include <array>
#include <cstdint>

namespace oru {

class EZlibError : public Exception {
  public:
    EZlibError(std::string message, int32_t code)
        : Exception(std::move(message)), ErrorCode(code) {}
    // "zlib error." CR LF detail " (code)"; an empty detail becomes the system's
    // text for the generic failure.
    static EZlibError FromResult(int32_t code, const char* detail);
    int32_t ErrorCode;
};

// Common part: the source (not owned), zlib's state and the input buffer.
class TZlibStream : public TStream {
  public:
    static constexpr int32_t InputBufferSize = 65536;

    explicit TZlibStream(TStream& source);
    int32_t Write(const void* buffer, int32_t count) override; // always 0
    int64_t Seek(int64_t offset, SeekOrigin origin) override;  // always 0

  protected:
    TStream& source_;
    z_stream zs_{};
    std::array<Bytef, InputBufferSize> input_;
};

class TZlibDecompressionStream : public TZlibStream {
  public:
    explicit TZlibDecompressionStream(TStream& source);
    ~TZlibDecompressionStream() override;

    int32_t Read(void* buffer, int32_t count) override;

    // Inflates into buffer until it is full, the deflate data end, or no progress
    // is possible (zlib's buffer error, which is not a failure: a truncated member
    // simply yields fewer bytes). Reads at most inputLimit further source bytes;
    // consumed receives how many were read. Returns the number of bytes produced.
    int32_t LimitedRead(void* buffer, int32_t count, int64_t& consumed, int64_t inputLimit);
};

} // namespace oru
