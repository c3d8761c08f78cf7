#include "AddressCache.h"

#include "VarInt.h"

namespace oru::vcdiff {

int AddressCache::Choose(uint64_t addr, uint64_t here, uint64_t& value, int& bytes) const {
    // A same-cache hit is one byte and exact; nothing is cheaper.
    uint64_t sameIndex = addr % same_.size();
    if (same_[sameIndex] == addr) {
        value = sameIndex % 256;
        bytes = 1;
        return kFirstSameMode + static_cast<int>(sameIndex / 256);
    }
    // On equal length HERE beats SELF and SELF/HERE beat the near slots: measured on
    // executables, this keeps the opcodes more uniform and the delta deflates smaller.
    int mode = kModeSelf;
    value = addr;
    bytes = VarintLength(addr);
    uint64_t back = here - addr;
    if (VarintLength(back) <= bytes) {
        mode = kModeHere;
        value = back;
        bytes = VarintLength(back);
    }
    for (int i = 0; i < kNearSize; ++i) {
        if (addr >= near_[i]) {
            uint64_t d = addr - near_[i];
            int n = VarintLength(d);
            if (n < bytes || (n == bytes && mode >= kFirstNearMode && d < value)) {
                mode = kFirstNearMode + i;
                value = d;
                bytes = n;
            }
        }
    }
    return mode;
}

} // namespace oru::vcdiff
