// Making a difference delta. The matcher walks the new file and, at each position,
// finds the longest exact match anywhere in the old file through its suffix array.
// It only starts a new run where that match beats the current alignment (the old
// position that follows on from the last run) by a clear margin; the runs are then
// widened forwards and backwards as long as at least half of the bytes agree, which
// is what turns moved code with slightly changed addresses into mostly zero
// differences.
#include "engine/BranchFilter.h"
#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/SuffixSort.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace oru::patch {

namespace {

// A new run must beat the current alignment by more than this many bytes.
constexpr int64_t kMinGain = 8;

void PutUnsigned(std::vector<uint8_t>& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<uint8_t>(v));
}

void PutSigned(std::vector<uint8_t>& out, int64_t v) {
    PutUnsigned(out,
                v < 0 ? (static_cast<uint64_t>(-(v + 1)) << 1) | 1 : static_cast<uint64_t>(v) << 1);
}

struct TStreams {
    std::vector<uint8_t> Control, Diff, Extra;
};

// Differences are mostly zeros: as alternating counts of zero and non-zero bytes
// plus the non-zero bytes alone, they deflate about a tenth smaller than as they are.
void SplitRuns(const std::vector<uint8_t>& diff, std::vector<uint8_t>& runs,
               std::vector<uint8_t>& changed) {
    size_t i = 0, n = diff.size();
    while (i < n) {
        size_t j = i;
        while (j < n && diff[j] == 0)
            ++j;
        size_t k = j;
        while (k < n && diff[k] != 0)
            ++k;
        PutUnsigned(runs, j - i);
        PutUnsigned(runs, k - j);
        changed.insert(changed.end(), diff.begin() + static_cast<ptrdiff_t>(j),
                       diff.begin() + static_cast<ptrdiff_t>(k));
        i = k;
    }
}

class TMatcher {
  public:
    TMatcher(const uint8_t* old, int64_t oldSize, const uint8_t* neu, int64_t newSize)
        : old_(old), oldSize_(oldSize), new_(neu), newSize_(newSize),
          sa_(SuffixArray(old, static_cast<size_t>(oldSize))) {}

    TStreams Run(const std::function<void(uint64_t, uint64_t)>& progress) {
        TStreams out;
        out.Diff.reserve(static_cast<size_t>(newSize_));
        int64_t scan = 0, length = 0, pos = 0;
        int64_t lastScan = 0, lastPos = 0, lastOffset = 0;
        int64_t reported = 0;
        while (scan < newSize_) {
            int64_t oldScore = 0;
            int64_t scored = scan += length;
            // Look for a match that is better than carrying on with the last alignment.
            for (; scan < newSize_; ++scan) {
                length = Longest(new_ + scan, newSize_ - scan, pos);
                for (; scored < scan + length; ++scored)
                    if (scored + lastOffset < oldSize_ && old_[scored + lastOffset] == new_[scored])
                        ++oldScore;
                if ((length == oldScore && length != 0) || length > oldScore + kMinGain)
                    break;
                if (scan + lastOffset < oldSize_ && old_[scan + lastOffset] == new_[scan])
                    --oldScore;
            }
            if (length == oldScore && scan != newSize_)
                continue;

            // Widen the last run forwards and the new one backwards.
            int64_t forward = 0;
            for (int64_t i = 0, same = 0, best = 0;
                 lastScan + i < scan && lastPos + i < oldSize_;) {
                if (old_[lastPos + i] == new_[lastScan + i])
                    ++same;
                ++i;
                if (same * 2 - i > best * 2 - forward) {
                    best = same;
                    forward = i;
                }
            }
            int64_t backward = 0;
            if (scan < newSize_) {
                for (int64_t i = 1, same = 0, best = 0; scan >= lastScan + i && pos >= i; ++i) {
                    if (old_[pos - i] == new_[scan - i])
                        ++same;
                    if (same * 2 - i > best * 2 - backward) {
                        best = same;
                        backward = i;
                    }
                }
            }
            // Where they overlap, split at the point that keeps the most agreement.
            if (lastScan + forward > scan - backward) {
                int64_t overlap = (lastScan + forward) - (scan - backward);
                int64_t same = 0, best = 0, split = 0;
                for (int64_t i = 0; i < overlap; ++i) {
                    if (new_[lastScan + forward - overlap + i] ==
                        old_[lastPos + forward - overlap + i])
                        ++same;
                    if (new_[scan - backward + i] == old_[pos - backward + i])
                        --same;
                    if (same > best) {
                        best = same;
                        split = i + 1;
                    }
                }
                forward += split - overlap;
                backward -= split;
            }

            for (int64_t i = 0; i < forward; ++i)
                out.Diff.push_back(static_cast<uint8_t>(new_[lastScan + i] - old_[lastPos + i]));
            int64_t extraStart = lastScan + forward, extraEnd = scan - backward;
            out.Extra.insert(out.Extra.end(), new_ + extraStart, new_ + extraEnd);
            PutUnsigned(out.Control, static_cast<uint64_t>(forward));
            PutUnsigned(out.Control, static_cast<uint64_t>(extraEnd - extraStart));
            PutSigned(out.Control, (pos - backward) - (lastPos + forward));

            lastScan = scan - backward;
            lastPos = pos - backward;
            lastOffset = pos - scan;
            if (progress && scan - reported >= (1 << 20)) {
                progress(static_cast<uint64_t>(scan), static_cast<uint64_t>(newSize_));
                reported = scan;
            }
        }
        return out;
    }

  private:
    static int64_t Common(const uint8_t* a, int64_t na, const uint8_t* b, int64_t nb) {
        int64_t n = std::min(na, nb), i = 0;
        while (i < n && a[i] == b[i])
            ++i;
        return i;
    }

    // The longest prefix of s found in the old file, by bisecting the suffix array.
    int64_t Longest(const uint8_t* s, int64_t n, int64_t& pos) const {
        if (oldSize_ == 0) {
            pos = 0;
            return 0;
        }
        int64_t lo = 0, hi = oldSize_ - 1;
        while (hi - lo > 1) {
            int64_t mid = lo + (hi - lo) / 2;
            int64_t at = sa_[static_cast<size_t>(mid)];
            int64_t k = std::min(oldSize_ - at, n);
            int c = std::memcmp(old_ + at, s, static_cast<size_t>(k));
            if (c < 0 || (c == 0 && k < n))
                lo = mid;
            else
                hi = mid;
        }
        int64_t a = sa_[static_cast<size_t>(lo)], b = sa_[static_cast<size_t>(hi)];
        int64_t la = Common(old_ + a, oldSize_ - a, s, n),
                lb = Common(old_ + b, oldSize_ - b, s, n);
        pos = la >= lb ? a : b;
        return std::max(la, lb);
    }

    const uint8_t* old_;
    int64_t oldSize_;
    const uint8_t* new_;
    int64_t newSize_;
    std::vector<int32_t> sa_;
};

// Raw deflate at level 9; the filtered strategy (fewer short matches) now and then
// wins on the difference streams, so both are tried.
std::vector<uint8_t> Deflated(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> best;
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED}) {
        z_stream z{};
        if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, strategy) != Z_OK)
            throw EDeflateError("Cannot start compressing");
        std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(raw.size())));
        z.next_in = const_cast<Bytef*>(raw.data());
        z.avail_in = static_cast<uInt>(raw.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        int rc = deflate(&z, Z_FINISH);
        out.resize(out.size() - z.avail_out);
        deflateEnd(&z);
        if (rc != Z_STREAM_END)
            throw EDeflateError("Compression failed");
        if (best.empty() || out.size() < best.size())
            best = std::move(out);
    }
    return best;
}

void PutLe64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

TBsDeltaResult Make(const uint8_t* old, size_t oldSize, const uint8_t* neu, size_t newSize,
                    TBsTransform transform, const TBsDeltaOptions& options) {
    TMatcher matcher(old, static_cast<int64_t>(oldSize), neu, static_cast<int64_t>(newSize));
    std::function<void(uint64_t, uint64_t)> progress;
    if (options.Progress)
        progress = [&](uint64_t done, uint64_t total) { options.Progress(transform, done, total); };
    TStreams streams = matcher.Run(progress);
    if (progress)
        progress(newSize, newSize);
    std::vector<uint8_t> runs, changed;
    SplitRuns(streams.Diff, runs, changed);
    const std::vector<uint8_t>* raw[kBsStreams] = {&streams.Control, &runs, &changed,
                                                   &streams.Extra};
    TBsDeltaResult result;
    result.Transform = transform;
    std::vector<uint8_t>& p = result.Payload;
    p = {static_cast<uint8_t>(transform), 0, 0, 0};
    PutLe64(p, streams.Diff.size());
    std::vector<uint8_t> packed[kBsStreams];
    for (int i = 0; i < kBsStreams; ++i) {
        packed[i] = Deflated(*raw[i]);
        PutLe64(p, packed[i].size());
        PutLe64(p, raw[i]->size());
        result.RawSize += raw[i]->size();
    }
    for (const auto& s : packed)
        p.insert(p.end(), s.begin(), s.end());
    return result;
}

} // namespace

TBsDeltaResult MakeBsDelta(const std::vector<uint8_t>& oldData, const std::vector<uint8_t>& newData,
                           const TBsDeltaOptions& options) {
    if (oldData.size() >= (size_t(1) << 31))
        throw EBsDeltaError("The old file is too large for a difference delta");
    TBsDeltaResult best = Make(oldData.data(), oldData.size(), newData.data(), newData.size(),
                               TBsTransform::None, options);
    if (options.TryBranchTransform && (LooksLikeExecutable(oldData.data(), oldData.size()) ||
                                       LooksLikeExecutable(newData.data(), newData.size()))) {
        std::vector<uint8_t> oldCode(oldData), newCode(newData);
        BranchToAbsoluteAll(oldCode.data(), oldCode.size());
        BranchToAbsoluteAll(newCode.data(), newCode.size());
        TBsDeltaResult code = Make(oldCode.data(), oldCode.size(), newCode.data(), newCode.size(),
                                   TBsTransform::X86Branches, options);
        if (code.Payload.size() < best.Payload.size())
            best = std::move(code);
    }
    return best;
}

} // namespace oru::patch
