#include "MatchIndex.h"

#include <algorithm>

namespace oru::vcdiff {

namespace {

int BitsFor(size_t entries, int minBits, int maxBits) {
    int bits = minBits;
    while (bits < maxBits && (size_t(1) << bits) < entries)
        ++bits;
    return bits;
}

} // namespace

void SourceIndex::Build(const uint8_t* src, size_t len, int hashLen, size_t maxEntries) {
    hashLen_ = hashLen;
    head_.clear();
    next_.clear();
    if (len < static_cast<size_t>(hashLen))
        return;
    size_t positions = len - static_cast<size_t>(hashLen) + 1;
    step_ = std::max<size_t>(1, (positions + maxEntries - 1) / maxEntries);
    size_t entries = (positions + step_ - 1) / step_;
    bits_ = BitsFor(entries, 10, 24) - 1; // a load of about one entry per bucket
    head_.assign(size_t(1) << bits_, -1);
    next_.assign(entries, -1);
    for (size_t e = 0; e < entries; ++e) {
        uint32_t h = Hash(src + e * step_);
        next_[e] = head_[h];
        head_[h] = static_cast<int32_t>(e);
    }
}

void TargetChain::Reset(size_t len, int hashLen) {
    hashLen_ = hashLen;
    size_t slots = 1;
    while (slots < std::min(len, kHistory))
        slots <<= 1;
    mask_ = slots - 1;
    bits_ = BitsFor(slots, 10, 20);
    head_.assign(size_t(1) << bits_, -1);
    prev_.assign(slots, -1);
}

} // namespace oru::vcdiff
