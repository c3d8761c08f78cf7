#include "BlockCache.h"

#include "Vcdiff.h"

#include <algorithm>
#include <cstring>

namespace oru::vcdiff {

BlockCache::BlockCache(oru::TStream& stream, int64_t base, size_t blockSize, int64_t maxBytes)
    : stream_(stream), base_(base), blockSize_(blockSize),
      maxBlocks_(static_cast<size_t>(std::max<int64_t>(2, maxBytes / static_cast<int64_t>(blockSize)))) {}

void BlockCache::Read(uint64_t offset, uint8_t* dst, size_t n) {
    if (n > 0 && (offset / blockSize_ < first_ || (offset + n - 1) / blockSize_ - first_ >= slotOf_.size()))
        throw VcdiffError("A COPY reads outside its window's segment");
    while (n > 0) {
        uint64_t index = offset / blockSize_;
        size_t within = static_cast<size_t>(offset % blockSize_);
        if (within == 0 && n >= blockSize_ && slotOf_[index - first_] == kNone) {
            // Whole blocks nobody has asked for yet: straight into place, no copy.
            size_t direct = n - n % blockSize_;
            ReadAt(offset, dst, direct);
            dst += direct;
            offset += direct;
            n -= direct;
            continue;
        }
        Block& b = Fetch(index);
        size_t take = std::min(n, blockSize_ - within);
        if (within + take > b.valid)
            throw VcdiffError("The source file is shorter than the delta expects");
        std::memcpy(dst, b.data.get() + within, take);
        dst += take;
        offset += take;
        n -= take;
    }
}

void BlockCache::Retain(uint64_t begin, uint64_t end) {
    uint64_t first = begin / blockSize_;
    uint64_t count = (end + blockSize_ - 1) / blockSize_ - first;
    std::vector<size_t> slots(static_cast<size_t>(std::max<uint64_t>(count, 1)), kNone);
    for (size_t i = 0; i < slotOf_.size(); ++i) {
        size_t slot = slotOf_[i];
        if (slot == kNone)
            continue;
        uint64_t index = first_ + i;
        if (index >= first && index < first + count)
            slots[static_cast<size_t>(index - first)] = slot;
        else
            free_.push_back(slot);
    }
    first_ = first;
    slotOf_ = std::move(slots);
}

BlockCache::Block& BlockCache::Fetch(uint64_t index) {
    ++clock_;
    size_t& known = slotOf_[static_cast<size_t>(index - first_)];
    if (known != kNone) {
        blocks_[known].lastUse = clock_;
        return blocks_[known];
    }
    size_t slot;
    if (!free_.empty()) {
        slot = free_.back();
        free_.pop_back();
    } else if (blocks_.size() < maxBlocks_) {
        slot = blocks_.size();
        blocks_.emplace_back();
        blocks_.back().data = std::make_unique_for_overwrite<uint8_t[]>(blockSize_);
    } else {
        // Full: the least recently used block goes (a linear scan, but only on a miss).
        slot = 0;
        for (size_t i = 1; i < blocks_.size(); ++i)
            if (blocks_[i].lastUse < blocks_[slot].lastUse)
                slot = i;
        slotOf_[static_cast<size_t>(blocks_[slot].index - first_)] = kNone;
    }
    Block& b = blocks_[slot];
    b.index = index;
    b.lastUse = clock_;
    b.valid = ReadSome(index * blockSize_, b.data.get(), blockSize_);
    known = slot;
    return b;
}

void BlockCache::ReadAt(uint64_t offset, uint8_t* dst, size_t n) {
    if (ReadSome(offset, dst, n) != n)
        throw VcdiffError("The source file is shorter than the delta expects");
}

size_t BlockCache::ReadSome(uint64_t offset, uint8_t* dst, size_t n) {
    // The stream may be the target being written (VCD_TARGET windows): put its
    // position back after reading.
    int64_t keep = stream_.GetPosition();
    stream_.Seek(base_ + static_cast<int64_t>(offset), oru::SeekOrigin::Begin);
    size_t done = 0;
    while (done < n) {
        int32_t want = static_cast<int32_t>(std::min<size_t>(n - done, 1 << 30));
        int32_t got = stream_.Read(dst + done, want);
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    stream_.Seek(keep, oru::SeekOrigin::Begin);
    return done;
}

} // namespace oru::vcdiff
