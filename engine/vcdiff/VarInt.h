// RFC 3284 integers: base 128, most significant group first, the high bit of each
// byte set while more bytes follow.
#pragma once

#include <cstdint>
#include <vector>

namespace oru::vcdiff {

// Nothing legitimate comes close; keeping values this small means sums of a few of
// them never overflow 64 bits.
constexpr uint64_t kMaxVarintValue = uint64_t(1) << 62;
// 64 bits need ten groups; longer runs of leading zero groups are refused.
constexpr int kMaxVarintBytes = 10;

inline int VarintLength(uint64_t v) {
    int n = 1;
    while (v >>= 7)
        ++n;
    return n;
}

inline void AppendVarint(std::vector<uint8_t>& out, uint64_t v) {
    uint8_t tmp[kMaxVarintBytes];
    int n = 0;
    tmp[n++] = static_cast<uint8_t>(v & 0x7F);
    while (v >>= 7)
        tmp[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n)
        out.push_back(tmp[--n]);
}

enum class VarintStatus { Ok, Truncated, TooLarge };

// Parses one integer from [p, end), advancing p on success.
inline VarintStatus ParseVarint(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
    uint64_t v = 0;
    const uint8_t* q = p;
    for (int i = 0; i < kMaxVarintBytes; ++i) {
        if (q == end)
            return VarintStatus::Truncated;
        uint8_t b = *q++;
        v = (v << 7) | (b & 0x7F);
        if (v > kMaxVarintValue)
            return VarintStatus::TooLarge;
        if (!(b & 0x80)) {
            value = v;
            p = q;
            return VarintStatus::Ok;
        }
    }
    return VarintStatus::TooLarge;
}

} // namespace oru::vcdiff
