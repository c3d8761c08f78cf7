// A reversible transform of x86 code that makes moved code match: the 32-bit
// displacement of a near call (E8), jump (E9) or conditional jump (0F 80-8F) is
// replaced by the target it reaches. When a function moves, every call to it changes
// in the original bytes but the targets of calls elsewhere stay the same.
//
// The transform works on independent blocks of kBranchBlock bytes at block-aligned
// file offsets, so any block of a file can be transformed or restored on its own,
// which lets the engine read the old file at random positions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oru::patch {

inline constexpr size_t kBranchBlock = 64 * 1024;

// data holds at most kBranchBlock bytes starting at fileOffset, a multiple of
// kBranchBlock (the last block of a file may be shorter).
void BranchToAbsolute(uint8_t* data, size_t size, uint64_t fileOffset);
void BranchToRelative(uint8_t* data, size_t size, uint64_t fileOffset);

// A whole file in memory, block by block.
void BranchToAbsoluteAll(uint8_t* data, size_t size);

// MZ (Windows) or ELF headers: files worth trying the transform on.
bool LooksLikeExecutable(const uint8_t* data, size_t size);

} // namespace oru::patch
