// The near and same caches that COPY addresses are coded against (RFC 3284 5.1-5.3).
// Both start at zero in every window.
#pragma once

#include "CodeTable.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace oru::vcdiff {

class AddressCache {
public:
    AddressCache() { Reset(); }

    void Reset() {
        near_.fill(0);
        same_.fill(0);
        nextSlot_ = 0;
    }

    void Update(uint64_t addr) {
        near_[nextSlot_] = addr;
        nextSlot_ = (nextSlot_ + 1) % kNearSize;
        same_[addr % same_.size()] = addr;
    }

    uint64_t Near(int slot) const { return near_[slot]; }
    int NextSlot() const { return nextSlot_; }
    // The address the same cache holds for this address's bucket.
    uint64_t SameAt(uint64_t addr) const { return same_[addr % same_.size()]; }
    uint64_t SameEntry(int mode, uint8_t b) const {
        return same_[static_cast<std::size_t>(mode - kFirstSameMode) * 256 + b];
    }

    // The cheapest mode for `addr` at `here` and the value to write (a single byte for
    // same modes, a varint otherwise); its cost in bytes goes to `bytes`.
    int Choose(uint64_t addr, uint64_t here, uint64_t& value, int& bytes) const;

private:
    std::array<uint64_t, kNearSize> near_;
    std::array<uint64_t, kSameSize * 256> same_;
    int nextSlot_ = 0;
};

} // namespace oru::vcdiff
