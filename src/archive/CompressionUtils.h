// One member's bytes in, its data out: a stored member is copied, a deflated one
// inflated, both through the decryption stream, while counts, a CRC-32 and progress
// are kept. TOruUncompressionStream offers the same data as a read stream.
#pragma once

#include "archive/OruZlib.h"
#include "archive/PkwareCrypto.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace oru {

struct TOruCompressionOptions {
    uint8_t Level = 0; // 0 normal, 1 super fast, 2 fast, 4 maximum; informational here
    bool Stored = false;
    std::string Password; // empty when the data are not encrypted
};

struct TOruCompressionInfo;
using TOruCompressionProgress = std::function<void(TOruCompressionInfo&)>;

struct TOruCompressionInfo {
    TStream* Source = nullptr; // not owned
    TStream* Dest = nullptr;   // not owned
    TOruCompressionOptions Options;
    int64_t Size = 0;                   // set to the output count at the end
    int64_t CompressedSize = 0;         // input limit (0 = none); set to the input count at the end
    TOruCompressionProgress OnProgress; // after each chunk
    bool Compressing = false;
    int64_t BytesIn = 0;
    int64_t BytesOut = 0;
    // On entry the expected CRC-32 (the password check value); while running the
    // accumulator; at the end the final CRC-32.
    uint32_t Crc = 0;
    // Most output the data may yield (negative = no bound). A member's declared size
    // goes here so that a crafted member cannot fill the disk before its CRC is seen.
    int64_t OutputLimit = -1;
};

// The output went past TOruCompressionInfo::OutputLimit.
class EDataSizeError : public Exception {
  public:
    explicit EDataSizeError(int64_t limit);
};

// Copies or inflates Source to Dest; returns (and stores in Size) the bytes written.
int64_t Uncompress(TOruCompressionInfo& info);

// Copy buffer of Uncompress, on the stack.
constexpr int32_t UncompressBufferSize = 12596;

// A deflated member as a read stream. It writes nothing, reports no progress and
// compares no CRC; Info().Crc holds the running accumulator.
class TOruUncompressionStream : public TStream {
  public:
    // keepAlive holds the source's owner open for as long as this stream lives.
    explicit TOruUncompressionStream(const TOruCompressionInfo& info,
                                     std::shared_ptr<TStream> keepAlive = nullptr);
    ~TOruUncompressionStream() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override; // always 0
    int64_t Seek(int64_t offset, SeekOrigin origin) override;  // always -1

    const TOruCompressionInfo& Info() const { return info_; }

  private:
    std::shared_ptr<TStream> keepAlive_;
    TOruCompressionInfo info_;
    std::unique_ptr<TPkwareDecryptionStream> decryption_;
    std::unique_ptr<TZlibDecompressionStream> inflate_;
};

} // namespace oru
