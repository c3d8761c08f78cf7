// Helpers for the VCDIFF codec tests: byte-vector round trips, test data, and a
// builder for deltas assembled by hand.
#pragma once

#include "support/Noise.h"
#include "engine/vcdiff/Vcdiff.h"
#include "support/Files.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace oru::vcdiff::test {

using Bytes = std::vector<uint8_t>;
using oru::test::ReadWholeBytes;
using oru::test::WriteWholeFile;

Bytes EncodeBytes(const Bytes& source, const Bytes& target, const EncodeOptions& options = {});
Bytes DecodeBytes(const Bytes& source, const Bytes& delta, const DecodeOptions& options = {});

inline Bytes RandomBytes(size_t n, uint32_t seed) { return oru::test::Noise<Bytes>(n, seed); }
// Text-like bytes with many repeats (words drawn from a small vocabulary).
Bytes WordBytes(size_t n, uint32_t seed);

Bytes Varint(uint64_t v);
Bytes Concat(std::initializer_list<Bytes> parts);

// One window, written in the order the format lays it out.
struct WindowLayout {
    uint8_t indicator = 0; // VCD_SOURCE 1, VCD_TARGET 2, Adler-32 4
    uint64_t segLen = 0;
    uint64_t segPos = 0;
    uint64_t targetLen = 0;
    uint8_t deltaIndicator = 0;
    Bytes data, inst, addr;
    uint32_t adler = 0;                  // written when indicator has bit 4
    std::optional<uint64_t> deltaLength; // the correct length unless set
};

// The file header (with a header indicator) followed by windows.
Bytes BuildDelta(const std::vector<WindowLayout>& windows, uint8_t headerIndicator = 0);

} // namespace oru::vcdiff::test
