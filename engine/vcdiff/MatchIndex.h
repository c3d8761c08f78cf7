// Hash indexes the encoder finds COPY candidates with: a (possibly sparse) index of
// the source segment and hash chains over the target window read so far.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace oru::vcdiff {

// Buffers handed to these functions carry 8 readable bytes past their end.
constexpr size_t kReadPadding = 8;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most max.
inline size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t max) {
    size_t n = 0;
    while (n + 8 <= max) {
        uint64_t d = Load64(a + n) ^ Load64(b + n);
        if (d) {
            if constexpr (std::endian::native == std::endian::little)
                return n + static_cast<size_t>(std::countr_zero(d) >> 3);
            else
                return n + static_cast<size_t>(std::countl_zero(d) >> 3);
        }
        n += 8;
    }
    while (n < max && a[n] == b[n])
        ++n;
    return n;
}

// Hash of the first len (1..8) bytes at p.
inline uint32_t HashBytes(const uint8_t* p, int len, int bits) {
    uint64_t v = Load64(p);
    if constexpr (std::endian::native == std::endian::little)
        v <<= 64 - 8 * len;
    else
        v >>= 64 - 8 * len;
    return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

// Every step-th position of the source segment, chained by hash. With step s and
// hash length h, every match of at least h + s - 1 bytes is found.
class SourceIndex {
public:
    void Build(const uint8_t* src, size_t len, int hashLen, size_t maxEntries);
    int HashLen() const { return hashLen_; }
    size_t Step() const { return step_; }
    bool Empty() const { return head_.empty(); }
    uint32_t Hash(const uint8_t* p) const { return HashBytes(p, hashLen_, bits_); }
    // Chain walk: First(hash), then Next(previous) until negative; values are positions.
    int64_t First(uint32_t hash) const { return Pos(head_[hash]); }
    void Prefetch(uint32_t hash) const { __builtin_prefetch(&head_[hash]); }
    int64_t Next(int64_t pos) const { return Pos(next_[static_cast<size_t>(pos) / step_]); }

private:
    int64_t Pos(int32_t entry) const {
        return entry < 0 ? -1 : static_cast<int64_t>(entry) * static_cast<int64_t>(step_);
    }
    std::vector<int32_t> head_, next_;
    size_t step_ = 1;
    int hashLen_ = 4;
    int bits_ = 10;
};

// Hash chains over the positions of the target window, filled as parsing advances.
// Only the latest kHistory positions are chained, which bounds the memory.
class TargetChain {
public:
    static constexpr size_t kHistory = size_t(1) << 20;

    void Reset(size_t len, int hashLen);
    int HashLen() const { return hashLen_; }
    uint32_t Hash(const uint8_t* p) const { return HashBytes(p, hashLen_, bits_); }
    void Insert(const uint8_t* window, size_t pos) {
        uint32_t h = Hash(window + pos);
        prev_[pos & mask_] = head_[h];
        head_[h] = static_cast<int32_t>(pos);
    }
    // Chain walk from position `at`: First(hash), then Next until negative.
    int32_t First(uint32_t hash, size_t at) const { return Live(head_[hash], at, at); }
    int32_t Next(int32_t pos, size_t at) const {
        return Live(prev_[static_cast<size_t>(pos) & mask_], static_cast<size_t>(pos), at);
    }
    void Prefetch(uint32_t hash) const { __builtin_prefetch(&head_[hash]); }

private:
    // A slot reused for a newer position is recognised by pointing forwards or too far back.
    static int32_t Live(int32_t next, size_t below, size_t at) {
        if (next < 0 || static_cast<size_t>(next) >= below || at - static_cast<size_t>(next) > kHistory)
            return -1;
        return next;
    }
    std::vector<int32_t> head_, prev_;
    size_t mask_ = 0;
    int hashLen_ = 4;
    int bits_ = 10;
};

} // namespace oru::vcdiff
