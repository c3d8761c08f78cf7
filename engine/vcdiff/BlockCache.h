// Random access to a region of a seekable stream through cached blocks, so COPYs
// from a source of any size cost bounded memory.
#pragma once

#include "platform/Streams.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace oru::vcdiff {

class BlockCache {
public:
    // `base` is the stream offset of byte 0; at most maxBytes are cached.
    BlockCache(oru::TStream& stream, int64_t base, size_t blockSize, int64_t maxBytes);

    // Sets the region that reads may touch, [begin, end): a window's segment. Blocks
    // outside it are dropped, so memory follows the segment rather than everything
    // read so far.
    void Retain(uint64_t begin, uint64_t end);

    // Copies n bytes from `offset`, within the retained region; raises VcdiffError
    // when the stream ends first.
    void Read(uint64_t offset, uint8_t* dst, size_t n);

private:
    struct Block {
        uint64_t index = 0;
        uint64_t lastUse = 0;
        size_t valid = 0;
        std::unique_ptr<uint8_t[]> data;
    };
    Block& Fetch(uint64_t index);
    void ReadAt(uint64_t offset, uint8_t* dst, size_t n);
    size_t ReadSome(uint64_t offset, uint8_t* dst, size_t n);

    oru::TStream& stream_;
    int64_t base_;
    size_t blockSize_;
    size_t maxBlocks_;
    std::vector<Block> blocks_;
    std::vector<size_t> free_; // slots of dropped blocks, memory kept for reuse
    uint64_t first_ = 0;          // block index of the region's first block
    std::vector<size_t> slotOf_;  // per block of the region: its slot, or kNone
    static constexpr size_t kNone = SIZE_MAX;
    uint64_t clock_ = 0;
};

} // namespace oru::vcdiff
