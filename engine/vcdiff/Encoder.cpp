// Writes a VCDIFF delta window by window: reads one target window, makes the
// matching stretch of the source resident, parses, and writes the sections.
#include "Adler32.h"
#include "Format.h"
#include "MatchIndex.h"
#include "Parser.h"
#include "Vcdiff.h"
#include "WindowWriter.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace oru::vcdiff {

namespace {

// What our decoder accepts by default (DecodeOptions::maxTargetWindow).
constexpr int64_t kMaxTargetWindow = int64_t(64) << 20;
constexpr int64_t kMinWindow = 16;
// Source positions the index may hold; a larger segment is indexed sparsely.
constexpr size_t kMaxIndexEntries = size_t(4) << 20;

// Measured on executables: searching the source beyond the newest occurrence of a
// string, or weighing matches longer than a few dozen bytes, makes deltas larger
// once deflated (the extra COPYs have costly addresses and break up regular
// instruction runs), so higher levels spend their time on target matches only.
ParseParams ParamsForLevel(int level) {
    struct Row {
        int targetDepth;
        size_t nice;
    };
    static const Row rows[] = {{2, 16}, {4, 16}, {4, 24}, {8, 24}, {8, 32},
                               {12, 32}, {16, 32}, {16, 32}, {16, 32}};
    const Row& r = rows[std::clamp(level, 1, 9) - 1];
    ParseParams p;
    p.sourceDepth = 1;
    p.targetDepth = r.targetDepth;
    p.niceLength = r.nice;
    return p;
}

size_t ReadUpTo(oru::TStream& s, uint8_t* buf, size_t count) {
    size_t got = 0;
    while (got < count) {
        int32_t want = static_cast<int32_t>(std::min<size_t>(count - got, 1 << 30));
        int32_t n = s.Read(buf + got, want);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got;
}


// The stretch of source the current window is matched against, held in memory.
class SourceWindow {
public:
    SourceWindow(oru::TStream& s, int64_t base, int hashLen) : s_(s), base_(base), hashLen_(hashLen) {}

    // The segment keeps its length once placed (the source is larger than it);
    // what overlaps the previous placement is moved, not read again.
    void Place(int64_t start, int64_t len) {
        if (placed_ && start == start_ && len == static_cast<int64_t>(len_))
            return;
        int64_t keep0 = start + len, keep1 = start + len;
        if (placed_ && len == static_cast<int64_t>(len_)) {
            keep0 = std::max(start, start_);
            keep1 = std::min(start + len, start_ + len);
            if (keep0 < keep1)
                std::memmove(data_.data() + (keep0 - start), data_.data() + (keep0 - start_),
                             static_cast<size_t>(keep1 - keep0));
            else
                keep0 = keep1 = start + len;
        } else {
            data_.assign(static_cast<size_t>(len) + kReadPadding, 0);
        }
        Fill(data_.data(), start, keep0 - start);
        Fill(data_.data() + (keep1 - start), keep1, start + len - keep1);
        start_ = start;
        len_ = static_cast<size_t>(len);
        placed_ = true;
        index_.Build(data_.data(), len_, hashLen_, kMaxIndexEntries);
    }

    const uint8_t* Data() const { return data_.data(); }
    size_t Len() const { return len_; }
    const SourceIndex& Index() const { return index_; }

private:
    void Fill(uint8_t* dst, int64_t from, int64_t n) {
        if (n <= 0)
            return;
        s_.Seek(base_ + from, oru::SeekOrigin::Begin);
        if (ReadUpTo(s_, dst, static_cast<size_t>(n)) != static_cast<size_t>(n))
            throw VcdiffError("The source file changed while the delta was being written");
    }

    oru::TStream& s_;
    int64_t base_;
    int hashLen_;
    bool placed_ = false;
    int64_t start_ = 0;
    size_t len_ = 0;
    std::vector<uint8_t> data_;
    SourceIndex index_;
};

} // namespace

void Encode(oru::TStream& source, oru::TStream& target, oru::TStream& delta,
            const EncodeOptions& options) {
    const int64_t targetWindow = std::clamp(options.targetWindow, kMinWindow, kMaxTargetWindow);
    const int64_t sourceWindow = std::max(options.sourceWindow, kMinWindow);
    const ParseParams params = ParamsForLevel(options.level);

    const int64_t srcBase = source.GetPosition();
    const int64_t srcSize = std::max<int64_t>(0, source.GetSize() - srcBase);

    const uint8_t header[] = {kMagic[0], kMagic[1], kMagic[2], kVersion, 0};
    delta.WriteBuffer(header, sizeof header);

    std::vector<uint8_t> window(static_cast<size_t>(targetWindow) + kReadPadding);
    SourceWindow sw(source, srcBase, params.sourceHashLength);
    Parser parser(params);
    WindowWriter writer;
    std::vector<Op> ops;
    std::vector<uint8_t> out;
    int64_t targetPos = 0;
    for (bool first = true;; first = false) {
        size_t n = ReadUpTo(target, window.data(), static_cast<size_t>(targetWindow));
        std::memset(window.data() + n, 0, kReadPadding);
        if (n == 0 && !first)
            break;

        int64_t segStart = 0;
        int64_t segLen = std::min(srcSize, sourceWindow);
        if (srcSize > sourceWindow) {
            // Centre the segment on where the latest source matches say this window lies.
            int64_t expected = targetPos + parser.LastSourceDiagonal();
            segStart = std::clamp(expected - (sourceWindow - static_cast<int64_t>(n)) / 2,
                                  int64_t(0), srcSize - sourceWindow);
        }
        sw.Place(segStart, segLen);
        parser.Parse(sw.Data(), sw.Len(), &sw.Index(), segStart, window.data(), n, targetPos, ops);

        // Declare only the stretch of source the window actually uses.
        uint64_t lo = UINT64_MAX, hi = 0;
        for (const Op& op : ops)
            if (op.kind == Op::Copy && op.fromSource) {
                lo = std::min<uint64_t>(lo, op.from);
                hi = std::max<uint64_t>(hi, op.from + op.len);
            }
        const bool usesSource = lo < hi;
        const uint64_t usedLen = usesSource ? hi - lo : 0;
        writer.Start(usedLen);
        for (const Op& op : ops) {
            switch (op.kind) {
            case Op::Add:
                writer.Add(window.data() + op.pos, op.len);
                break;
            case Op::Run:
                writer.Run(window[op.pos], op.len);
                break;
            case Op::Copy:
                writer.Copy(op.fromSource ? op.from - lo : usedLen + op.from, op.len, op.pos);
                break;
            }
        }
        std::optional<uint32_t> adler;
        if (options.checksum)
            adler = Adler32(window.data(), n);
        out.clear();
        writer.Finish(out, usesSource ? kWinSource : 0,
                      usesSource ? static_cast<uint64_t>(segStart) + lo : 0, n, adler);
        for (size_t done = 0; done < out.size();) {
            size_t take = std::min<size_t>(out.size() - done, 1 << 30);
            delta.WriteBuffer(out.data() + done, static_cast<int32_t>(take));
            done += take;
        }
        targetPos += static_cast<int64_t>(n);
        if (n < static_cast<size_t>(targetWindow))
            break;
    }
}

} // namespace oru::vcdiff
