// Adler-32 (RFC 1950) of target windows, for xdelta3's window checksum. Ours
// rather than zlib's because applying a delta spends a fifth of its time here
// with the scalar version.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oru::vcdiff {

uint32_t Adler32(uint32_t adler, const uint8_t* p, size_t n);
inline uint32_t Adler32(const uint8_t* p, size_t n) { return Adler32(1, p, n); }

} // namespace oru::vcdiff
