// Random access to a region of a seekable stream through a small set of cached
// blocks, so COPYs from a source of any size cost bounded memory.
#pragma once

#include "platform/Streams.h"

#include <cstdint>
#include <vector>

namespace oru::vcdiff {

class BlockCache {
public:
    // `base` is the stream offset of byte 0; at most maxBytes are cached.
    BlockCache(oru::TStream& stream, int64_t base, size_t blockSize, int64_t maxBytes);

    // Copies n bytes from `offset`; raises VcdiffError when the stream ends first.
    void Read(uint64_t offset, uint8_t* dst, size_t n);

private:
    struct Block {
        uint64_t index = 0;
        uint64_t lastUse = 0;
        size_t valid = 0;
        std::vector<uint8_t> data;
    };
    Block& Fetch(uint64_t index);
    bool Cached(uint64_t index) const;
    void ReadAt(uint64_t offset, uint8_t* dst, size_t n);
    size_t ReadSome(uint64_t offset, uint8_t* dst, size_t n);

    oru::TStream& stream_;
    int64_t base_;
    size_t blockSize_;
    size_t maxBlocks_;
    std::vector<Block> blocks_;
    size_t last_ = 0;
    uint64_t clock_ = 0;
};

} // namespace oru::vcdiff
