#include "WindowWriter.h"

#include "Format.h"
#include "VarInt.h"

namespace oru::vcdiff {

WindowWriter::WindowWriter() : ops_(DefaultOpcodes()) {}

void WindowWriter::Start(uint64_t segLen) {
    segLen_ = segLen;
    cache_.Reset();
    data_.clear();
    inst_.clear();
    addr_.clear();
    pending_ = false;
}

void WindowWriter::Add(const uint8_t* bytes, uint64_t n) {
    if (n == 0)
        return;
    data_.insert(data_.end(), bytes, bytes + n);
    Push(kAdd, n, 0);
}

void WindowWriter::Run(uint8_t byte, uint64_t n) {
    if (n == 0)
        return;
    data_.push_back(byte);
    Push(kRun, n, 0);
}

void WindowWriter::Copy(uint64_t addr, uint64_t n, uint64_t pos) {
    if (n == 0)
        return;
    uint64_t value;
    int bytes;
    int mode = cache_.Choose(addr, segLen_ + pos, value, bytes);
    if (mode >= kFirstSameMode)
        addr_.push_back(static_cast<uint8_t>(value));
    else
        AppendVarint(addr_, value);
    cache_.Update(addr);
    Push(kCopy, n, mode);
}

// The instruction waits one step so that it can share an opcode with the next one.
void WindowWriter::Push(InstType type, uint64_t size, int mode) {
    if (pending_) {
        if (pSize_ <= OpcodeFinder::kMaxTableSize && size <= OpcodeFinder::kMaxTableSize) {
            HalfInst a{pType_, static_cast<uint8_t>(pSize_), static_cast<uint8_t>(pMode_)};
            HalfInst b{type, static_cast<uint8_t>(size), static_cast<uint8_t>(mode)};
            int op = ops_.Pair(a, b);
            if (op >= 0) {
                inst_.push_back(static_cast<uint8_t>(op));
                pending_ = false;
                return;
            }
        }
        Flush();
    }
    pending_ = true;
    pType_ = type;
    pSize_ = size;
    pMode_ = mode;
}

void WindowWriter::Flush() {
    if (!pending_)
        return;
    bool sizeInOpcode;
    uint32_t tableSize = pSize_ <= OpcodeFinder::kMaxTableSize ? static_cast<uint32_t>(pSize_) : 0;
    int op = ops_.Single(pType_, tableSize, pMode_, sizeInOpcode);
    inst_.push_back(static_cast<uint8_t>(op));
    if (!sizeInOpcode)
        AppendVarint(inst_, pSize_);
    pending_ = false;
}

void WindowWriter::Finish(std::vector<uint8_t>& out, uint8_t winIndicator, uint64_t segPos,
                          uint64_t targetLen, std::optional<uint32_t> adler) {
    Flush();
    if (adler)
        winIndicator |= kWinAdler32;
    out.push_back(winIndicator);
    if (winIndicator & (kWinSource | kWinTarget)) {
        AppendVarint(out, segLen_);
        AppendVarint(out, segPos);
    }
    std::vector<uint8_t> head;
    AppendVarint(head, targetLen);
    head.push_back(0); // sections are not compressed
    AppendVarint(head, data_.size());
    AppendVarint(head, inst_.size());
    AppendVarint(head, addr_.size());
    if (adler)
        for (int shift = 24; shift >= 0; shift -= 8)
            head.push_back(static_cast<uint8_t>(*adler >> shift));
    AppendVarint(out, head.size() + data_.size() + inst_.size() + addr_.size());
    out.insert(out.end(), head.begin(), head.end());
    out.insert(out.end(), data_.begin(), data_.end());
    out.insert(out.end(), inst_.begin(), inst_.end());
    out.insert(out.end(), addr_.begin(), addr_.end());
}

} // namespace oru::vcdiff
