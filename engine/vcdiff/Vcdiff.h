// Our delta format: VCDIFF (RFC 3284) with the default code table. Both directions
// work window by window over oru::TStream, so neither side holds a whole file.
#pragma once

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>

namespace oru::vcdiff {

// Any delta that cannot be read or applied: truncated, corrupt, hostile or unsupported.
class VcdiffError : public oru::Exception {
public:
    using Exception::Exception;
};

struct EncodeOptions {
    // Target bytes per window (kept within 16 bytes .. 64 MiB, what Decode accepts by
    // default). The decoder holds one window in memory; xdelta3 -d refuses windows
    // above 16 MiB.
    int64_t targetWindow = 8 << 20;
    // Most source bytes the encoder holds (and indexes) for one window. A source
    // up to this size is matched as a whole; a larger one through a window that
    // follows the target's position.
    int64_t sourceWindow = 32 << 20;
    // 1 (fastest) to 9 (smallest delta): how many candidate matches are weighed.
    int level = 9;
    // Appends an Adler-32 of each target window (xdelta3's extension, which it reads too).
    bool checksum = true;
};

struct DecodeOptions {
    // Windows that declare more target bytes are refused before anything is allocated.
    int64_t maxTargetWindow = 64 << 20;
    // Most source bytes kept in memory for COPYs (never more than the current
    // window's segment); beyond it blocks are read again on demand, which is slow
    // when a larger segment is used at random. Covers our encoder's and xdelta3's
    // default source windows.
    int64_t sourceCache = 64 << 20;
    // Called after each piece of target written, with the total so far. Returning
    // false aborts the decode with oru::EAbort.
    std::function<bool(int64_t)> progress;
};

// Writes a delta that turns `source` into `target`. Both streams are read from their
// current position to the end; source must be seekable.
void Encode(oru::TStream& source, oru::TStream& target, oru::TStream& delta,
            const EncodeOptions& options = {});

// Applies `delta` to `source` (seekable; offsets count from its current position) and
// writes the result to `target`. Raises VcdiffError for any delta it cannot apply.
void Decode(oru::TStream& source, oru::TStream& delta, oru::TStream& target,
            const DecodeOptions& options = {});

} // namespace oru::vcdiff
