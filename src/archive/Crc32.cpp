#include "archive/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

namespace oru {

namespace {

// zlib's crc32 inverts on entry and on exit; undoing both gives the bare update.
// Its length parameter is a uInt, so very large spans are fed in slices.
uint32_t ZlibUpdate(uint32_t crc, const uint8_t* p, size_t count) {
    constexpr size_t slice = std::numeric_limits<uInt>::max() / 2 + 1;
    uLong c = ~crc & 0xFFFFFFFFu;
    while (count > 0) {
        size_t n = std::min(count, slice);
        c = crc32(c, p, static_cast<uInt>(n));
        p += n;
        count -= n;
    }
    return ~static_cast<uint32_t>(c);
}

std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        table[i] = Crc32UpdateBitwise(0, &b, 1);
    }
    return table;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t count) {
    if (count == 0)
        return crc;
    return ZlibUpdate(crc, static_cast<const uint8_t*>(buffer), count);
}

uint32_t Crc32UpdateByte(uint32_t crc, uint8_t byte) {
    static const std::array<uint32_t, 256> table = MakeTable();
    return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32UpdateBitwise(uint32_t crc, const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (size_t i = 0; i < count; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

} // namespace oru
