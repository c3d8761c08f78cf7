// Fixed bytes and flag bits of the VCDIFF file layout.
#pragma once

#include <cstdint>

namespace oru::vcdiff {

constexpr uint8_t kMagic[3] = {0xD6, 0xC3, 0xC4};
constexpr uint8_t kVersion = 0x00;

// Hdr_Indicator
constexpr uint8_t kHdrDecompress = 0x01; // secondary compressor id follows
constexpr uint8_t kHdrCodeTable = 0x02;  // a custom code table follows
constexpr uint8_t kHdrAppHeader = 0x04;  // xdelta3: application data (file names) follows

// Win_Indicator
constexpr uint8_t kWinSource = 0x01;
constexpr uint8_t kWinTarget = 0x02;
constexpr uint8_t kWinAdler32 = 0x04; // xdelta3: Adler-32 of the target window follows the lengths

// Delta_Indicator: sections compressed by a secondary compressor.
constexpr uint8_t kDeltaCompressedMask = 0x07;

} // namespace oru::vcdiff
