// Applying a difference delta in one pass over the new file. The four streams are
// inflated side by side from their own regions of the patch file, each into a large
// buffer so that short runs cost no call into zlib; the old file is
// read through a small cache of blocks (restored from the transform on the way in
// when the delta was made on transformed files), and the output is restored block
// by block on the way out. Every length is checked before it is used.
#include "engine/BranchFilter.h"
#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/PatchFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace oru::patch {

namespace {

[[noreturn]] void Bad(const char* why) {
    throw EBsDeltaError(std::string("The difference delta is damaged: ") + why);
}

uint64_t Le64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

// One region of the patch file as a stream of its own, so that three inflaters can
// read their streams in turn through one file.
class TRegion : public TStream {
  public:
    TRegion(TStream& base, uint64_t offset, uint64_t size)
        : base_(base), at_(offset), left_(size) {}
    int32_t Read(void* buffer, int32_t count) override {
        int32_t n = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(count), left_));
        if (n <= 0)
            return 0;
        base_.SetPosition(static_cast<int64_t>(at_));
        n = base_.Read(buffer, n);
        at_ += static_cast<uint64_t>(n);
        left_ -= static_cast<uint64_t>(n);
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }

  private:
    TStream& base_;
    uint64_t at_, left_;
};

// One inflated stream served from a large buffer: the changed bytes come in runs of
// a few bytes each, and a call into zlib per run would cost more than the run.
class TStreamBuffer {
  public:
    explicit TStreamBuffer(TInflateReader& in)
        : in_(in), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kSize)) {}
    // Up to want bytes (at least one, want > 0); the caller has checked that the
    // stream declares them, so running dry means the stream is damaged.
    const uint8_t* Take(size_t want, size_t& got) {
        if (pos_ == end_) {
            int32_t n = in_.Read(buffer_.get(), static_cast<int32_t>(kSize));
            if (n <= 0)
                Bad("a stream ends before its records do");
            pos_ = 0;
            end_ = static_cast<size_t>(n);
        }
        got = std::min(want, end_ - pos_);
        const uint8_t* p = buffer_.get() + pos_;
        pos_ += got;
        return p;
    }

  private:
    static constexpr size_t kSize = 256 * 1024;
    TInflateReader& in_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t pos_ = 0, end_ = 0;
};

class TControlReader {
  public:
    TControlReader(TInflateReader& in, uint64_t size) : in_(in), left_(size) {}
    bool AtEnd() const { return left_ == 0; }
    uint64_t Unsigned() {
        uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            if (shift > 49)
                Bad("a control number is too long");
            uint8_t b = Byte();
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        if (v > kMaxFileSize)
            Bad("a control number is out of range");
        return v;
    }
    int64_t Signed() {
        uint64_t z = Unsigned();
        return (z & 1) ? -static_cast<int64_t>(z >> 1) - 1 : static_cast<int64_t>(z >> 1);
    }

  private:
    uint8_t Byte() {
        if (left_ == 0)
            Bad("the control stream ends inside a record");
        size_t got;
        --left_;
        return *in_.Take(1, got);
    }
    TStreamBuffer in_;
    uint64_t left_;
};

// Blocks of the old file by their index, direct-mapped; moved code makes the delta
// hop around, mostly near where it was.
class TOldReader {
  public:
    TOldReader(TStream& source, uint64_t size, bool transform)
        : source_(source), size_(size), transform_(transform) {}
    // The bytes from pos to the end of its block (at least one; pos < size).
    const uint8_t* At(uint64_t pos, size_t& available) {
        uint64_t block = pos / kBranchBlock;
        TSlot& slot = slots_[block % kSlots];
        if (!slot.Data || slot.Block != block) {
            if (!slot.Data)
                slot.Data = std::make_unique_for_overwrite<uint8_t[]>(kBranchBlock);
            uint64_t start = block * kBranchBlock;
            size_t length = static_cast<size_t>(std::min<uint64_t>(kBranchBlock, size_ - start));
            source_.SetPosition(static_cast<int64_t>(start));
            source_.ReadBuffer(slot.Data.get(), static_cast<int32_t>(length));
            if (transform_)
                BranchToAbsolute(slot.Data.get(), length, start);
            slot.Block = block;
            slot.Length = length;
        }
        size_t offset = static_cast<size_t>(pos - block * kBranchBlock);
        available = slot.Length - offset;
        return slot.Data.get() + offset;
    }

  private:
    static constexpr size_t kSlots = 64;
    struct TSlot {
        std::unique_ptr<uint8_t[]> Data;
        uint64_t Block = 0;
        size_t Length = 0;
    };
    TStream& source_;
    uint64_t size_;
    bool transform_;
    std::array<TSlot, kSlots> slots_;
};

// Collects the (transformed) new file, restores it block by block and passes it
// on a few blocks at a time.
class TNewWriter {
  public:
    TNewWriter(TStream& target, bool transform)
        : target_(target), transform_(transform),
          buffer_(std::make_unique_for_overwrite<uint8_t[]>(kSize)) {}
    uint8_t* Space(size_t& available) {
        available = kSize - used_;
        return buffer_.get() + used_;
    }
    void Commit(size_t n) {
        used_ += n;
        if (used_ == kSize)
            Flush();
    }
    void Flush() {
        if (!used_)
            return;
        if (transform_)
            for (size_t at = 0; at < used_; at += kBranchBlock)
                BranchToRelative(buffer_.get() + at, std::min(kBranchBlock, used_ - at), written_ + at);
        target_.WriteBuffer(buffer_.get(), static_cast<int32_t>(used_));
        written_ += used_;
        used_ = 0;
    }

  private:
    // A whole number of blocks, so that every flush starts on a block boundary.
    static constexpr size_t kSize = 4 * kBranchBlock;
    TStream& target_;
    bool transform_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t used_ = 0;
    uint64_t written_ = 0;
};

} // namespace

void ApplyBsDelta(TStream& source, TStream& patch, uint64_t payloadOffset, uint64_t payloadSize,
                  uint64_t rawSize, uint64_t newSize, TStream& target) {
    if (payloadSize < kBsHeaderSize)
        Bad("its header is incomplete");
    uint8_t h[kBsHeaderSize];
    patch.SetPosition(static_cast<int64_t>(payloadOffset));
    patch.ReadBuffer(h, sizeof h);
    if (h[0] > static_cast<uint8_t>(TBsTransform::X86Branches))
        Bad("its transform is unknown");
    if (h[1] || h[2] || h[3])
        Bad("its reserved bytes are not zero");
    const uint64_t copied = Le64(h + 4);
    uint64_t packed[kBsStreams], raw[kBsStreams], starts[kBsStreams];
    uint64_t at = payloadOffset + kBsHeaderSize, room = payloadSize - kBsHeaderSize, rawSum = 0;
    for (int i = 0; i < kBsStreams; ++i) {
        packed[i] = Le64(h + 12 + 16 * i);
        raw[i] = Le64(h + 20 + 16 * i);
        if (packed[i] == 0 || packed[i] > room)
            Bad("a stream does not fit in the payload");
        if (raw[i] > kMaxFileSize)
            Bad("a stream's size is out of range");
        starts[i] = at;
        at += packed[i];
        room -= packed[i];
        rawSum += raw[i];
    }
    if (room != 0)
        Bad("the streams do not fill the payload exactly");
    if (copied > kMaxFileSize || copied + raw[3] != newSize || raw[2] > copied)
        Bad("its sizes do not add up to the new file's size");
    if (rawSum != rawSize)
        Bad("its streams do not add up to the entry's raw size");

    const bool transform = h[0] == static_cast<uint8_t>(TBsTransform::X86Branches);
    const uint64_t oldSize = static_cast<uint64_t>(source.GetSize());
    std::vector<std::unique_ptr<TRegion>> regions;
    std::vector<std::unique_ptr<TInflateReader>> in;
    for (int i = 0; i < kBsStreams; ++i) {
        regions.push_back(std::make_unique<TRegion>(patch, starts[i], packed[i]));
        in.push_back(std::make_unique<TInflateReader>(*regions[i], packed[i], raw[i]));
    }
    TStreamBuffer changedIn(*in[2]);
    TStreamBuffer extraIn(*in[3]);
    TControlReader control(*in[0], raw[0]);
    TControlReader runs(*in[1], raw[1]);
    TOldReader old(source, oldSize, transform);
    TNewWriter out(target, transform);

    // The differences come as runs: so many unchanged bytes, then so many changed.
    uint64_t copyLeft = copied, extraLeft = raw[3], oldPos = 0;
    uint64_t same = 0, changed = 0, runLeft = copied, changedLeft = raw[2];
    while (!control.AtEnd()) {
        uint64_t copyLength = control.Unsigned();
        uint64_t extraLength = control.Unsigned();
        int64_t seek = control.Signed();
        if (copyLength > copyLeft || extraLength > extraLeft)
            Bad("a record needs more bytes than its streams hold");
        if (copyLength > oldSize - oldPos)
            Bad("a record reads beyond the end of the old file");
        copyLeft -= copyLength;
        extraLeft -= extraLength;
        while (copyLength > 0) {
            if (same == 0 && changed == 0) {
                same = runs.Unsigned();
                changed = runs.Unsigned();
                if (same + changed == 0 || same + changed > runLeft)
                    Bad("a run of differences is out of range");
                if (changed > changedLeft)
                    Bad("a run needs more changed bytes than its stream holds");
                runLeft -= same + changed;
                changedLeft -= changed;
            }
            size_t room, have;
            uint8_t* dst = out.Space(room);
            const uint8_t* src = old.At(oldPos, have);
            size_t n = static_cast<size_t>(std::min<uint64_t>(copyLength, std::min(room, have)));
            if (same) {
                n = static_cast<size_t>(std::min<uint64_t>(n, same));
                std::memcpy(dst, src, n);
                same -= n;
            } else {
                const uint8_t* diff = changedIn.Take(static_cast<size_t>(std::min<uint64_t>(n, changed)), n);
                for (size_t i = 0; i < n; ++i)
                    dst[i] = static_cast<uint8_t>(diff[i] + src[i]);
                changed -= n;
            }
            out.Commit(n);
            oldPos += n;
            copyLength -= n;
        }
        while (extraLength > 0) {
            size_t room;
            uint8_t* dst = out.Space(room);
            size_t n;
            const uint8_t* bytes = extraIn.Take(static_cast<size_t>(std::min<uint64_t>(extraLength, room)), n);
            std::memcpy(dst, bytes, n);
            out.Commit(n);
            extraLength -= n;
        }
        // Seeks are bounded by the old file, so the sum cannot overflow.
        if (seek < 0 ? static_cast<uint64_t>(-seek) > oldPos
                     : static_cast<uint64_t>(seek) > oldSize - oldPos)
            Bad("a record moves outside the old file");
        oldPos = static_cast<uint64_t>(static_cast<int64_t>(oldPos) + seek);
    }
    if (copyLeft || extraLeft || runLeft || changedLeft || same || changed || !runs.AtEnd())
        Bad("its streams hold bytes that no record uses");
    out.Flush();
    for (auto& stream : in)
        stream->Finish();
}

} // namespace oru::patch
