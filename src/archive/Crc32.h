// CRC-32 (reflected polynomial 0xEDB88320) as the ZIP format and its traditional
// encryption use it. The update step has no initial or final inversion: callers
// start with 0xFFFFFFFF and invert the result themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oru {

// Table speed (zlib's routine underneath), same values as the bitwise form.
uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t count);

// One byte, through a lookup table; the key schedule of the ZIP cipher calls this
// for every byte it touches.
uint32_t Crc32UpdateByte(uint32_t crc, uint8_t byte);

// Eight shift steps per byte, no table. Slow; kept as the definition that the
// fast forms must agree with.
uint32_t Crc32UpdateBitwise(uint32_t crc, const void* buffer, size_t count);

} // namespace oru
