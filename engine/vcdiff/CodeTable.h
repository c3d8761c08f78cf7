// The instruction code table of RFC 3284 section 5.6: 256 opcodes, each one or two
// of ADD, RUN and COPY (with an address mode) and an optional built-in size.
#pragma once

#include <array>
#include <cstdint>

namespace oru::vcdiff {

enum InstType : uint8_t { kNoop = 0, kAdd = 1, kRun = 2, kCopy = 3 };

// Address modes: SELF, HERE, four near-cache slots, three same-cache blocks.
constexpr int kNearSize = 4;
constexpr int kSameSize = 3;
constexpr int kModeSelf = 0;
constexpr int kModeHere = 1;
constexpr int kFirstNearMode = 2;
constexpr int kFirstSameMode = kFirstNearMode + kNearSize;
constexpr int kModeCount = kFirstSameMode + kSameSize;

struct HalfInst {
    uint8_t type = kNoop;
    uint8_t size = 0; // 0: the size follows the opcode in the instruction section
    uint8_t mode = 0;
};

struct CodeEntry {
    HalfInst first;
    HalfInst second;
};

using CodeTable = std::array<CodeEntry, 256>;

const CodeTable& DefaultCodeTable();

// Opcode lookups for the encoder: which opcode says exactly this instruction (or pair).
class OpcodeFinder {
public:
    static constexpr int kMaxTableSize = 18; // largest size any default opcode carries

    OpcodeFinder();
    // The opcode for one instruction; sets `sizeInOpcode` when no size byte follows.
    int Single(InstType type, uint32_t size, int mode, bool& sizeInOpcode) const;
    // The opcode that carries both instructions, or -1.
    int Pair(const HalfInst& a, const HalfInst& b) const;

private:
    // [type][mode][size] and pairs indexed the same way; -1 where the table has none.
    int16_t single_[4][kModeCount][kMaxTableSize + 1];
    int16_t addCopy_[kMaxTableSize + 1][kModeCount][kMaxTableSize + 1];
    int16_t copyAdd_[kModeCount][kMaxTableSize + 1][kMaxTableSize + 1];
};

const OpcodeFinder& DefaultOpcodes();

} // namespace oru::vcdiff
