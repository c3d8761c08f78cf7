// The difference delta (patch method 3): runs of the new file that resemble runs
// of the old one are stored as byte differences, which are mostly zeros and
// compress well even where moved code changed many addresses slightly; what has no
// counterpart is stored as is. docs/patch-format.md describes the bytes.
#pragma once

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace oru::patch {

class EBsDeltaError : public Exception {
  public:
    using Exception::Exception;
};

// The payload starts with a fixed header: transform (u8), three reserved bytes, the
// number of new bytes made from old ones (u64), then compressed and raw sizes (u64
// each) of the control, run, changed-byte and extra streams, which follow as raw
// deflate streams in that order.
inline constexpr int kBsStreams = 4;
inline constexpr uint32_t kBsHeaderSize = 4 + 8 + kBsStreams * 16;
enum class TBsTransform : uint8_t { None = 0, X86Branches = 1 };

struct TBsDeltaOptions {
    // Executables are also tried with the x86 branch transform; the smaller wins.
    bool TryBranchTransform = true;
    // Called now and then while matching: the pass, bytes of the new file done, total.
    std::function<void(TBsTransform, uint64_t, uint64_t)> Progress;
};

struct TBsDeltaResult {
    std::vector<uint8_t> Payload;
    TBsTransform Transform = TBsTransform::None;
    uint64_t RawSize = 0; // the sum of the streams' raw sizes (the entry's payloadRawSize)
};

TBsDeltaResult MakeBsDelta(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData,
                           const TBsDeltaOptions& options = {});

// Rebuilds the new file from source (seekable, the old file) and the payload of
// payloadSize bytes at payloadOffset in patch, writing it to target in order. rawSize
// and newSize are the entry's; any field out of bounds raises EBsDeltaError (or
// EDeflateError for a damaged stream). Memory stays below 16 MiB whatever the sizes.
void ApplyBsDelta(TStream& source, TStream& patch, uint64_t payloadOffset, uint64_t payloadSize,
                  uint64_t rawSize, uint64_t newSize, TStream& target);

} // namespace oru::patch
