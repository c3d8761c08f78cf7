// Which bytes are changed depends only on opcode bytes, which the transform never
// touches, and on whether the displacement's top byte is 0x00 or 0xFF, which it
// keeps: so both directions find exactly the same instructions. An opcode whose
// displacement is not converted is still skipped whole for that reason.
#include "engine/BranchFilter.h"

#include <algorithm>
#include <cstring>

namespace oru::patch {

namespace {

// Targets are kept modulo 2^25 with the top bits copied from bit 24, so a converted
// displacement still has a top byte of 0x00 or 0xFF.
uint32_t Fold(uint32_t v) {
    v &= 0x1FFFFFF;
    return (v & 0x1000000) ? (v | 0xFE000000) : v;
}

template <bool ToAbsolute> void Filter(uint8_t* p, size_t n, uint64_t base) {
    size_t i = 0;
    while (i < n) {
        size_t operand;
        if (p[i] == 0xE8 || p[i] == 0xE9)
            operand = i + 1;
        else if (p[i] == 0x0F && i + 1 < n && (p[i + 1] & 0xF0) == 0x80)
            operand = i + 2;
        else {
            ++i;
            continue;
        }
        if (operand + 4 > n) {
            ++i;
            continue;
        }
        uint8_t top = p[operand + 3];
        if (top == 0x00 || top == 0xFF) {
            uint32_t v;
            std::memcpy(&v, p + operand, 4); // little-endian hosts only (x86, ARM)
            uint32_t next = static_cast<uint32_t>(base + operand + 4);
            v = Fold(ToAbsolute ? v + next : v - next);
            std::memcpy(p + operand, &v, 4);
        }
        i = operand + 4;
    }
}

} // namespace

void BranchToAbsolute(uint8_t* data, size_t size, uint64_t fileOffset) {
    Filter<true>(data, size, fileOffset);
}

void BranchToRelative(uint8_t* data, size_t size, uint64_t fileOffset) {
    Filter<false>(data, size, fileOffset);
}

void BranchToAbsoluteAll(uint8_t* data, size_t size) {
    for (size_t at = 0; at < size; at += kBranchBlock)
        BranchToAbsolute(data + at, std::min(kBranchBlock, size - at), at);
}

bool LooksLikeExecutable(const uint8_t* data, size_t size) {
    return (size >= 2 && data[0] == 'M' && data[1] == 'Z') || (size >= 4 && std::memcmp(data,
                                                                                        "\x7f"
                                                                                        "ELF",
                                                                                        4) == 0);
}

} // namespace oru::patch
