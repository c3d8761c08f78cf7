// Applies a VCDIFF delta. Every number read from the delta is checked before it
// is used as a length, an offset or an allocation size.
#include "AddressCache.h"
#include "Adler32.h"
#include "BlockCache.h"
#include "CodeTable.h"
#include "Format.h"
#include "VarInt.h"
#include "Vcdiff.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace oru::vcdiff {

namespace {

[[noreturn]] void Corrupt(const std::string& what) {
    throw VcdiffError("Corrupt delta: " + what);
}

std::string U(uint64_t v) { return std::to_string(v); }

// Buffered sequential reader of the delta stream (which need not be seekable).
class DeltaInput {
public:
    explicit DeltaInput(oru::TStream& s) : s_(s), buf_(64 * 1024) {}

    // False at the end of the stream.
    bool More() { return pos_ < len_ || Fill(); }

    uint8_t Byte(const char* what) {
        if (pos_ == len_ && !Fill())
            Corrupt(std::string("it ends inside the ") + what);
        return buf_[pos_++];
    }

    uint64_t Varint(const char* what, int* count = nullptr) {
        uint64_t v = 0;
        for (int i = 0; i < kMaxVarintBytes; ++i) {
            uint8_t b = Byte(what);
            v = (v << 7) | (b & 0x7F);
            if (v > kMaxVarintValue)
                break;
            if (!(b & 0x80)) {
                if (count)
                    *count = i + 1;
                return v;
            }
        }
        Corrupt(std::string("the ") + what + " is too large");
    }

    // Reads n bytes into out. Memory grows with the bytes actually present, so a
    // length that lies costs nothing beyond the file's real size.
    void Read(std::vector<uint8_t>& out, uint64_t n, const char* what) {
        out.clear();
        while (out.size() < n) {
            if (pos_ == len_ && !Fill())
                Corrupt(std::string("it ends inside the ") + what);
            size_t take = static_cast<size_t>(std::min<uint64_t>(len_ - pos_, n - out.size()));
            out.insert(out.end(), buf_.begin() + static_cast<ptrdiff_t>(pos_),
                       buf_.begin() + static_cast<ptrdiff_t>(pos_ + take));
            pos_ += take;
        }
    }

    void Skip(uint64_t n, const char* what) {
        while (n > 0) {
            if (pos_ == len_ && !Fill())
                Corrupt(std::string("it ends inside the ") + what);
            size_t take = static_cast<size_t>(std::min<uint64_t>(len_ - pos_, n));
            pos_ += take;
            n -= take;
        }
    }

private:
    bool Fill() {
        pos_ = 0;
        int32_t got = s_.Read(buf_.data(), static_cast<int32_t>(buf_.size()));
        len_ = got > 0 ? static_cast<size_t>(got) : 0;
        return len_ > 0;
    }

    oru::TStream& s_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    size_t len_ = 0;
};

// Reads integers and bytes from one in-memory section of a window.
class SectionReader {
public:
    SectionReader(const std::vector<uint8_t>& v, const char* name)
        : p_(v.data()), end_(v.data() + v.size()), name_(name) {}

    uint64_t Varint() {
        uint64_t v;
        switch (ParseVarint(p_, end_, v)) {
        case VarintStatus::Ok:
            return v;
        case VarintStatus::Truncated:
            Corrupt(std::string("the ") + name_ + " section ends inside a number");
        default:
            Corrupt(std::string("a number in the ") + name_ + " section is too large");
        }
    }
    uint8_t Byte() {
        if (p_ == end_)
            Corrupt(std::string("the ") + name_ + " section is too short");
        return *p_++;
    }
    const uint8_t* Take(uint64_t n) {
        if (n > static_cast<uint64_t>(end_ - p_))
            Corrupt(std::string("the ") + name_ + " section is too short");
        const uint8_t* r = p_;
        p_ += n;
        return r;
    }
    bool AtEnd() const { return p_ == end_; }
    size_t Left() const { return static_cast<size_t>(end_ - p_); }

private:
    const uint8_t* p_;
    const uint8_t* end_;
    const char* name_;
};

// Copies within the window; the source may overlap the bytes being produced, which
// repeats its first (dst - src) bytes.
void CopyWithin(uint8_t* dst, const uint8_t* src, size_t n) {
    size_t dist = static_cast<size_t>(dst - src);
    if (dist >= n) {
        std::memcpy(dst, src, n);
        return;
    }
    if (dist == 1) {
        std::memset(dst, *src, n);
        return;
    }
    // dst - src stays a multiple of the period, so each pass may copy twice as much.
    while (n > 0) {
        size_t take = std::min(n, static_cast<size_t>(dst - src));
        std::memcpy(dst, src, take);
        dst += take;
        n -= take;
    }
}

class Decoder {
public:
    Decoder(oru::TStream& source, oru::TStream& delta, oru::TStream& target, const DecodeOptions& o)
        : source_(source), in_(delta), target_(target), opt_(o), table_(DefaultCodeTable()) {
        if (opt_.maxTargetWindow < 0)
            opt_.maxTargetWindow = 0;
        sourceBase_ = source_.GetPosition();
        sourceSize_ = std::max<int64_t>(0, source_.GetSize() - sourceBase_);
        targetBase_ = target_.GetPosition();
    }

    void Run() {
        ReadHeader();
        while (in_.More())
            DecodeWindow();
    }

private:
    void ReadHeader() {
        for (uint8_t m : kMagic)
            if (in_.Byte("file header") != m)
                throw VcdiffError("Not a VCDIFF delta: the file does not start with its signature");
        uint8_t version = in_.Byte("file header");
        if (version != kVersion)
            throw VcdiffError("Unsupported VCDIFF version " + U(version));
        uint8_t ind = in_.Byte("file header");
        if (ind & kHdrDecompress)
            throw VcdiffError("The delta uses secondary compression, which is not supported");
        if (ind & kHdrCodeTable)
            throw VcdiffError("The delta uses a custom code table, which is not supported");
        if (ind & ~(kHdrDecompress | kHdrCodeTable | kHdrAppHeader))
            Corrupt("reserved bits are set in the header indicator");
        if (ind & kHdrAppHeader)
            in_.Skip(in_.Varint("application header length"), "application header");
    }

    void DecodeWindow() {
        uint8_t ind = in_.Byte("window indicator");
        if (ind & ~(kWinSource | kWinTarget | kWinAdler32))
            Corrupt("reserved bits are set in the window indicator");
        if ((ind & kWinSource) && (ind & kWinTarget))
            Corrupt("a window takes its segment from both the source and the target");
        uint64_t segLen = 0, segPos = 0;
        if (ind & (kWinSource | kWinTarget)) {
            segLen = in_.Varint("source segment size");
            segPos = in_.Varint("source segment position");
            uint64_t avail = (ind & kWinSource) ? static_cast<uint64_t>(sourceSize_)
                                                : static_cast<uint64_t>(written_);
            if (segLen > avail || segPos > avail - segLen)
                Corrupt("the window's segment [" + U(segPos) + ", " + U(segPos + segLen) +
                        ") lies beyond the " + ((ind & kWinSource) ? "source" : "target") +
                        " (" + U(avail) + " bytes)");
        }
        uint64_t deltaLen = in_.Varint("delta encoding length");
        int n = 0, used = 0;
        uint64_t targetLen = in_.Varint("target window length", &n);
        used += n;
        if (targetLen > static_cast<uint64_t>(opt_.maxTargetWindow))
            throw VcdiffError("The delta has a target window of " + U(targetLen) +
                              " bytes, more than the limit of " + U(opt_.maxTargetWindow));
        uint8_t deltaInd = in_.Byte("delta indicator");
        ++used;
        if (deltaInd & kDeltaCompressedMask)
            throw VcdiffError("The delta uses secondary compression, which is not supported");
        if (deltaInd)
            Corrupt("reserved bits are set in the delta indicator");
        uint64_t dataLen = in_.Varint("data section length", &n);
        used += n;
        uint64_t instLen = in_.Varint("instruction section length", &n);
        used += n;
        uint64_t addrLen = in_.Varint("address section length", &n);
        used += n;
        std::optional<uint32_t> adler;
        if (ind & kWinAdler32) {
            uint32_t a = 0;
            for (int i = 0; i < 4; ++i)
                a = (a << 8) | in_.Byte("window checksum");
            adler = a;
            used += 4;
        }
        uint64_t sections = dataLen + instLen + addrLen;
        if (deltaLen != static_cast<uint64_t>(used) + sections)
            Corrupt("the delta encoding length " + U(deltaLen) +
                    " does not match its sections (" + U(used + sections) + " bytes)");
        // Even a wasteful encoder needs only a few bytes per target byte.
        if ((sections - std::min<uint64_t>(sections, 1 << 20)) / 8 > targetLen)
            Corrupt("the window's sections (" + U(sections) + " bytes) are far larger than its " +
                    U(targetLen) + " target bytes need");
        in_.Read(data_, dataLen, "data section");
        in_.Read(inst_, instLen, "instruction section");
        in_.Read(addr_, addrLen, "address section");

        window_.resize(static_cast<size_t>(targetLen));
        std::unique_ptr<BlockCache> targetSegment;
        BlockCache* segment = nullptr;
        if (ind & kWinSource) {
            if (!sourceCache_)
                sourceCache_ = std::make_unique<BlockCache>(source_, sourceBase_, kBlockSize,
                                                            opt_.sourceCache);
            segment = sourceCache_.get();
        } else if (ind & kWinTarget) {
            targetSegment = std::make_unique<BlockCache>(target_, targetBase_, kBlockSize,
                                                         opt_.sourceCache);
            segment = targetSegment.get();
        }
        if (segment)
            segment->Retain(segPos, segPos + segLen);
        Execute(segment, segLen, segPos);

        if (adler) {
            uint32_t a = Adler32(window_.data(), window_.size());
            if (a != *adler)
                throw VcdiffError("The checksum of target window " + U(windowCount_) +
                                  " does not match: the source file is not the one the delta "
                                  "was made from, or the delta is damaged");
        }
        Emit();
        ++windowCount_;
    }

    void Execute(BlockCache* segment, uint64_t segLen, uint64_t segPos) {
        SectionReader data(data_, "data");
        SectionReader inst(inst_, "instruction");
        SectionReader addr(addr_, "address");
        cache_.Reset();
        uint8_t* out = window_.data();
        const uint64_t targetLen = window_.size();
        uint64_t pos = 0;
        while (!inst.AtEnd()) {
            const CodeEntry& e = table_[inst.Byte()];
            for (const HalfInst* h : {&e.first, &e.second}) {
                if (h->type == kNoop)
                    continue;
                uint64_t size = h->size ? h->size : inst.Varint();
                if (size > targetLen - pos)
                    Corrupt("an instruction writes past the end of the " + U(targetLen) +
                            "-byte target window");
                // A zero size is pointless but valid: its data byte or address is still read.
                switch (h->type) {
                case kAdd: {
                    const uint8_t* bytes = data.Take(size);
                    if (size > 0)
                        std::memcpy(out + pos, bytes, static_cast<size_t>(size));
                    break;
                }
                case kRun: {
                    uint8_t byte = data.Byte();
                    if (size > 0)
                        std::memset(out + pos, byte, static_cast<size_t>(size));
                    break;
                }
                default: {
                    uint64_t here = segLen + pos;
                    uint64_t a = DecodeAddress(h->mode, here, addr);
                    if (a < segLen) {
                        if (size > segLen - a)
                            Corrupt("a COPY runs past the end of the source segment");
                        if (size > 0)
                            segment->Read(segPos + a, out + pos, static_cast<size_t>(size));
                    } else if (size > 0) {
                        CopyWithin(out + pos, out + (a - segLen), static_cast<size_t>(size));
                    }
                    break;
                }
                }
                pos += size;
            }
        }
        if (pos != targetLen)
            Corrupt("the instructions produce " + U(pos) + " bytes for a target window of " +
                    U(targetLen));
        if (!data.AtEnd())
            Corrupt(U(data.Left()) + " bytes of the data section are never used");
        if (!addr.AtEnd())
            Corrupt(U(addr.Left()) + " bytes of the address section are never used");
    }

    uint64_t DecodeAddress(int mode, uint64_t here, SectionReader& addr) {
        uint64_t a;
        if (mode == kModeSelf) {
            a = addr.Varint();
        } else if (mode == kModeHere) {
            uint64_t back = addr.Varint();
            if (back > here)
                Corrupt("a COPY address lies before the start of the address space");
            a = here - back;
        } else if (mode < kFirstSameMode) {
            a = cache_.Near(mode - kFirstNearMode) + addr.Varint();
        } else {
            a = cache_.SameEntry(mode, addr.Byte());
        }
        // Also refuses every COPY when the window has neither a segment nor output yet.
        if (a >= here)
            Corrupt("a COPY address (" + U(a) + ") is not below the current position (" +
                    U(here) + ")");
        cache_.Update(a);
        return a;
    }


    void Emit() {
        const uint8_t* p = window_.data();
        size_t left = window_.size();
        while (left > 0) {
            size_t take = std::min<size_t>(left, kEmitChunk);
            target_.WriteBuffer(p, static_cast<int32_t>(take));
            p += take;
            left -= take;
            written_ += static_cast<int64_t>(take);
            if (opt_.progress && !opt_.progress(written_))
                throw oru::EAbort();
        }
    }

    static constexpr size_t kBlockSize = 256 * 1024;
    static constexpr size_t kEmitChunk = 1 << 20;

    oru::TStream& source_;
    DeltaInput in_;
    oru::TStream& target_;
    DecodeOptions opt_;
    const CodeTable& table_;
    int64_t sourceBase_ = 0;
    int64_t sourceSize_ = 0;
    int64_t targetBase_ = 0;
    int64_t written_ = 0;
    uint64_t windowCount_ = 0;
    std::unique_ptr<BlockCache> sourceCache_;
    AddressCache cache_;
    std::vector<uint8_t> data_, inst_, addr_, window_;
};

} // namespace

void Decode(oru::TStream& source, oru::TStream& delta, oru::TStream& target,
            const DecodeOptions& options) {
    Decoder(source, delta, target, options).Run();
}

} // namespace oru::vcdiff
