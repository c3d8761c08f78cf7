#include "CodeTable.h"

#include <algorithm>

namespace oru::vcdiff {

namespace {

CodeTable BuildDefaultTable() {
    CodeTable t{};
    int op = 0;
    t[op++] = {{kRun, 0, 0}, {}};
    for (int size = 0; size <= 17; ++size)
        t[op++] = {{kAdd, static_cast<uint8_t>(size), 0}, {}};
    for (int mode = 0; mode < kModeCount; ++mode) {
        t[op++] = {{kCopy, 0, static_cast<uint8_t>(mode)}, {}};
        for (int size = 4; size <= 18; ++size)
            t[op++] = {{kCopy, static_cast<uint8_t>(size), static_cast<uint8_t>(mode)}, {}};
    }
    for (int mode = 0; mode < 6; ++mode)
        for (int add = 1; add <= 4; ++add)
            for (int copy = 4; copy <= 6; ++copy)
                t[op++] = {{kAdd, static_cast<uint8_t>(add), 0},
                           {kCopy, static_cast<uint8_t>(copy), static_cast<uint8_t>(mode)}};
    for (int mode = 6; mode < kModeCount; ++mode)
        for (int add = 1; add <= 4; ++add)
            t[op++] = {{kAdd, static_cast<uint8_t>(add), 0}, {kCopy, 4, static_cast<uint8_t>(mode)}};
    for (int mode = 0; mode < kModeCount; ++mode)
        t[op++] = {{kCopy, 4, static_cast<uint8_t>(mode)}, {kAdd, 1, 0}};
    return t;
}

} // namespace

const CodeTable& DefaultCodeTable() {
    static const CodeTable table = BuildDefaultTable();
    return table;
}

OpcodeFinder::OpcodeFinder() {
    std::fill(&single_[0][0][0], &single_[0][0][0] + sizeof(single_) / sizeof(int16_t), -1);
    std::fill(&addCopy_[0][0][0], &addCopy_[0][0][0] + sizeof(addCopy_) / sizeof(int16_t), -1);
    std::fill(&copyAdd_[0][0][0], &copyAdd_[0][0][0] + sizeof(copyAdd_) / sizeof(int16_t), -1);
    const CodeTable& t = DefaultCodeTable();
    for (int op = 0; op < 256; ++op) {
        const HalfInst& a = t[op].first;
        const HalfInst& b = t[op].second;
        if (b.type == kNoop)
            single_[a.type][a.mode][a.size] = static_cast<int16_t>(op);
        else if (a.type == kAdd && b.type == kCopy)
            addCopy_[a.size][b.mode][b.size] = static_cast<int16_t>(op);
        else if (a.type == kCopy && b.type == kAdd)
            copyAdd_[a.mode][a.size][b.size] = static_cast<int16_t>(op);
    }
}

int OpcodeFinder::Single(InstType type, uint32_t size, int mode, bool& sizeInOpcode) const {
    if (size >= 1 && size <= kMaxTableSize && single_[type][mode][size] >= 0) {
        sizeInOpcode = true;
        return single_[type][mode][size];
    }
    sizeInOpcode = false;
    return single_[type][mode][0];
}

int OpcodeFinder::Pair(const HalfInst& a, const HalfInst& b) const {
    if (a.size == 0 || b.size == 0 || a.size > kMaxTableSize || b.size > kMaxTableSize)
        return -1;
    if (a.type == kAdd && b.type == kCopy)
        return addCopy_[a.size][b.mode][b.size];
    if (a.type == kCopy && b.type == kAdd)
        return copyAdd_[a.mode][a.size][b.size];
    return -1;
}

const OpcodeFinder& DefaultOpcodes() {
    static const OpcodeFinder finder;
    return finder;
}

} // namespace oru::vcdiff
