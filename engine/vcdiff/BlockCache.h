// Random access to a region of a seekable stream through cached blocks, so COPYs
// from a source of any size cost bounded memory.
#pragma once

#include "platform/Streams.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace oru::vcdiff {

class BlockCache {
public:
    // `base` is the stream offset of byte 0; at most maxBytes are cached.
    BlockCache(oru::TStream& stream, int64_t base, size_t blockSize, int64_t maxBytes);

    // Copies n bytes from `offset`; raises VcdiffError when the stream ends first.
    void Read(uint64_t offset, uint8_t* dst, size_t n);

    // Drops the blocks outside [begin, end): a window's segment is all it may read,
    // so memory follows the segment rather than everything read so far.
    void Retain(uint64_t begin, uint64_t end);

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
    std::unordered_map<uint64_t, size_t> slotOf_;
    size_t last_ = SIZE_MAX;
    uint64_t clock_ = 0;
};

} // namespace oru::vcdiff
