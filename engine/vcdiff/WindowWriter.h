// Builds the three sections of one window from a sequence of ADD, RUN and COPY
// instructions: picks address modes against the caches and folds neighbouring
// instructions into the default table's double opcodes.
#pragma once

#include "AddressCache.h"
#include "CodeTable.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace oru::vcdiff {

class WindowWriter {
public:
    WindowWriter();

    // Starts a window whose address space begins with segLen bytes of segment.
    void Start(uint64_t segLen);
    void Add(const uint8_t* bytes, uint64_t n);
    void Run(uint8_t byte, uint64_t n);
    // addr in the window's address space (segment, then target); pos = target offset.
    void Copy(uint64_t addr, uint64_t n, uint64_t pos);

    // Appends the finished window (indicator, segment, lengths, sections) to out.
    void Finish(std::vector<uint8_t>& out, uint8_t winIndicator, uint64_t segPos,
                uint64_t targetLen, std::optional<uint32_t> adler);

private:
    void Push(InstType type, uint64_t size, int mode);
    void Flush();

    const OpcodeFinder& ops_;
    AddressCache cache_;
    uint64_t segLen_ = 0;
    std::vector<uint8_t> data_, inst_, addr_;
    bool pending_ = false;
    InstType pType_ = kNoop;
    uint64_t pSize_ = 0;
    int pMode_ = 0;
};

} // namespace oru::vcdiff
