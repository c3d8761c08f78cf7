#include "BlockCache.h"

#include "Vcdiff.h"

#include <algorithm>
#include <cstring>

namespace oru::vcdiff {

BlockCache::BlockCache(oru::TStream& stream, int64_t base, size_t blockSize, int64_t maxBytes)
    : stream_(stream), base_(base), blockSize_(blockSize),
      maxBlocks_(static_cast<size_t>(std::max<int64_t>(2, maxBytes / static_cast<int64_t>(blockSize)))) {}

void BlockCache::Read(uint64_t offset, uint8_t* dst, size_t n) {
    while (n > 0) {
        uint64_t index = offset / blockSize_;
        size_t within = static_cast<size_t>(offset % blockSize_);
        if (within == 0 && n >= blockSize_ && !Cached(index)) {
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
        std::memcpy(dst, b.data.data() + within, take);
        dst += take;
        offset += take;
        n -= take;
    }
}

BlockCache::Block& BlockCache::Fetch(uint64_t index) {
    ++clock_;
    if (last_ < blocks_.size() && blocks_[last_].index == index) {
        blocks_[last_].lastUse = clock_;
        return blocks_[last_];
    }
    size_t victim = 0;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_[i].index == index) {
            last_ = i;
            blocks_[i].lastUse = clock_;
            return blocks_[i];
        }
        if (blocks_[i].lastUse < blocks_[victim].lastUse)
            victim = i;
    }
    if (blocks_.size() < maxBlocks_) {
        victim = blocks_.size();
        blocks_.emplace_back();
        blocks_.back().data.resize(blockSize_);
    }
    Block& b = blocks_[victim];
    b.index = index;
    b.lastUse = clock_;
    b.valid = 0;
    b.valid = ReadSome(index * blockSize_, b.data.data(), blockSize_);
    last_ = victim;
    return b;
}

bool BlockCache::Cached(uint64_t index) const {
    for (const Block& b : blocks_)
        if (b.index == index && b.valid > 0)
            return true;
    return false;
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
