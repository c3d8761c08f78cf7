// The difference delta's layers: suffix sorting, the branch transform, and the
// delta itself (round trips and the bounds the applier enforces).
#include "engine/BsDelta.h"
#include "engine/BranchFilter.h"
#include "engine/DeflateStreams.h"
#include "engine/SuffixSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

namespace oru::patch {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t n, uint32_t seed, int alphabet = 256) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b)
        c = static_cast<uint8_t>(rng() % alphabet);
    return b;
}

std::vector<int32_t> NaiveSuffixArray(const Bytes& s) {
    std::vector<int32_t> sa(s.size());
    std::iota(sa.begin(), sa.end(), 0);
    std::sort(sa.begin(), sa.end(), [&](int32_t a, int32_t b) {
        return std::lexicographical_compare(s.begin() + a, s.end(), s.begin() + b, s.end());
    });
    return sa;
}

TEST(SuffixSort, OwnSortAgreesWithNaiveAndLibraryOnHardShapes) {
    std::vector<Bytes> inputs = {
        {}, {7}, Bytes(300, 'a'), Random(2000, 1, 2), Random(3000, 2, 4), Random(1500, 3)};
    Bytes periodic;
    for (int i = 0; i < 500; ++i)
        periodic.insert(periodic.end(), {'a', 'b', 'a', 'a', 'b'});
    inputs.push_back(periodic);
    for (const Bytes& in : inputs) {
        auto expected = NaiveSuffixArray(in);
        EXPECT_EQ(OwnSuffixArray(in.data(), in.size()), expected) << "size " << in.size();
        EXPECT_EQ(SuffixArray(in.data(), in.size()), expected) << SuffixSorterName();
    }
}

// Code-like bytes: many call and jump opcodes, some near block boundaries.
Bytes CodeLike(size_t n, uint32_t seed) {
    Bytes b = Random(n, seed);
    std::mt19937 rng(seed);
    for (size_t i = 0; i + 6 < n; i += 3 + rng() % 9) {
        static const uint8_t ops[] = {0xE8, 0xE9, 0x0F};
        b[i] = ops[rng() % 3];
        if (b[i] == 0x0F)
            b[i + 1] = static_cast<uint8_t>(0x80 + rng() % 16);
        b[i + (b[i] == 0x0F ? 5 : 4)] = rng() % 2 ? 0x00 : 0xFF;
    }
    return b;
}

TEST(BranchFilter, RestoresEveryBlockExactly) {
    Bytes original = CodeLike(3 * kBranchBlock + 777, 5);
    Bytes data = original;
    BranchToAbsoluteAll(data.data(), data.size());
    EXPECT_NE(data, original);
    for (size_t at = 0; at < data.size(); at += kBranchBlock)
        BranchToRelative(data.data() + at, std::min(kBranchBlock, data.size() - at), at);
    EXPECT_EQ(data, original);
}

TEST(BranchFilter, CallsToOneTargetLookAlikeWherever) {
    // call rel32 at 0x100 and at 0x900, both to 0x5000.
    Bytes a(0x1000, 0x90), b(0x1000, 0x90);
    auto call = [](Bytes& code, uint32_t at, uint32_t target) {
        code[at] = 0xE8;
        uint32_t rel = target - (at + 5);
        std::memcpy(&code[at + 1], &rel, 4);
    };
    call(a, 0x100, 0x5000);
    call(b, 0x900, 0x5000);
    BranchToAbsoluteAll(a.data(), a.size());
    BranchToAbsoluteAll(b.data(), b.size());
    EXPECT_TRUE(std::equal(a.begin() + 0x100, a.begin() + 0x105, b.begin() + 0x900));
}

Bytes Apply(const Bytes& old, const Bytes& payload, uint64_t rawSize, uint64_t newSize) {
    TMemoryStream source(old), patch(payload), out;
    ApplyBsDelta(source, patch, 0, payload.size(), rawSize, newSize, out);
    return out.Data();
}

void RoundTrip(const Bytes& old, const Bytes& neu, const TBsDeltaOptions& options = {}) {
    TBsDeltaResult d = MakeBsDelta(old, neu, options);
    EXPECT_EQ(Apply(old, d.Payload, d.RawSize, neu.size()), neu);
}

TEST(BsDelta, RoundTripsEdgeShapes) {
    Bytes base = Random(100000, 7, 16);
    Bytes edited = base;
    for (size_t i = 0; i < edited.size(); i += 97)
        edited[i] ^= 0x21; // scattered small changes: the approximate matches' case
    edited.insert(edited.begin() + 5000, 3000, 'x');
    edited.erase(edited.begin() + 60000, edited.begin() + 61000);
    RoundTrip(base, edited);
    RoundTrip({}, base);
    RoundTrip(base, {});
    RoundTrip({}, {});
    RoundTrip(base, base);
    RoundTrip(base, Random(50000, 8));
    // Longer than the engine's output buffer and old-file cache, jumping backwards.
    Bytes big = Random(3 << 20, 9);
    Bytes moved(big.begin() + (2 << 20), big.end());
    moved.insert(moved.end(), big.begin(), big.begin() + (2 << 20));
    RoundTrip(big, moved);
}

TEST(BsDelta, BranchTransformIsUsedWhereItIsSmaller) {
    // An "executable" whose code grows by a few bytes here and there, so the callers
    // move by ever larger amounts while the functions they call stay where they were.
    std::mt19937 rng(11);
    std::vector<uint32_t> targets(64);
    for (auto& t : targets)
        t = 0x400000 + rng() % 0x100000;
    auto build = [&](bool grown) {
        Bytes code = {'M', 'Z'};
        std::mt19937 pick(12);
        for (int block = 0; block < 3000; ++block) {
            Bytes filler = Random(20, static_cast<uint32_t>(block), 8);
            code.insert(code.end(), filler.begin(), filler.end());
            if (grown && block % 7 == 0)
                code.insert(code.end(), 1 + block % 3, 0x90);
            uint32_t at = static_cast<uint32_t>(code.size());
            uint32_t rel = targets[pick() % targets.size()] - (at + 5);
            code.push_back(0xE8);
            code.insert(code.end(), reinterpret_cast<uint8_t*>(&rel),
                        reinterpret_cast<uint8_t*>(&rel) + 4);
        }
        return code;
    };
    Bytes old = build(false), neu = build(true);
    TBsDeltaResult with = MakeBsDelta(old, neu);
    TBsDeltaOptions plain;
    plain.TryBranchTransform = false;
    TBsDeltaResult without = MakeBsDelta(old, neu, plain);
    EXPECT_EQ(with.Transform, TBsTransform::X86Branches);
    EXPECT_LT(with.Payload.size(), without.Payload.size());
    EXPECT_EQ(Apply(old, with.Payload, with.RawSize, neu.size()), neu);
}

// A payload assembled from raw streams, so each field can be set by hand.
struct THandMade {
    uint8_t Transform = 0;
    uint64_t Copied = 0;
    Bytes Streams[kBsStreams];
    int32_t CutLast = 0; // bytes dropped from the end of the last packed stream

    Bytes Payload(uint64_t& rawSize) const {
        Bytes p = {Transform, 0, 0, 0};
        auto le = [&](uint64_t v) {
            for (int i = 0; i < 8; ++i)
                p.push_back(static_cast<uint8_t>(v >> (8 * i)));
        };
        le(Copied);
        Bytes packed[kBsStreams];
        rawSize = 0;
        for (int i = 0; i < kBsStreams; ++i) {
            TMemoryStream m;
            TDeflateWriter w(m);
            if (!Streams[i].empty())
                w.WriteBuffer(Streams[i].data(), static_cast<int32_t>(Streams[i].size()));
            w.Finish();
            packed[i] = m.Data();
            le(packed[i].size());
            le(Streams[i].size());
            rawSize += Streams[i].size();
        }
        for (const auto& s : packed)
            p.insert(p.end(), s.begin(), s.end());
        return p;
    }
};

TEST(BsDelta, HandMadePayloadAppliesAndEveryBoundIsEnforced) {
    const Bytes old = {10, 20, 30, 40, 50};
    // Two records: 3 bytes from old[0] (the middle one changed by +1), 2 extra bytes,
    // seek back to 1; then 2 bytes from old[1] unchanged. Runs: 1 same, 1 changed,
    // 1 same; then 2 same.
    THandMade good;
    good.Copied = 5;
    good.Streams[0] = {3, 2, 3 /* -2 */, 2, 0, 0};
    good.Streams[1] = {1, 1, 1, 0, 2, 0};
    good.Streams[2] = {1};
    good.Streams[3] = {'x', 'y'};
    uint64_t raw = 0;
    Bytes payload = good.Payload(raw);
    EXPECT_EQ(Apply(old, payload, raw, 7), (Bytes{10, 21, 30, 'x', 'y', 20, 30}));

    auto refused = [&](THandMade m, uint64_t newSize = 7, int64_t rawDelta = 0) {
        uint64_t r = 0;
        Bytes p = m.Payload(r);
        EXPECT_ANY_THROW(Apply(old, p, r + rawDelta, newSize));
    };
    refused(good, 8);    // sizes do not add up to the new size
    refused(good, 7, 1); // nor to the entry's raw size
    THandMade m = good;
    m.Transform = 2; // unknown transform
    refused(m);
    m = good;
    m.Streams[0] = {6, 2, 0}; // reads past the old file's end
    m.Copied = 6;
    m.Streams[1] = {6, 0};
    m.Streams[2] = {};
    refused(m, 8);
    m = good;
    m.Streams[0][2] = 7; // seeks before the start of the old file (-4 at 3)
    refused(m);
    m = good;
    m.Streams[0][5] = 10; // seeks past its end
    refused(m);
    m = good;
    m.Streams[0].pop_back(); // control ends inside a record
    refused(m);
    m = good;
    m.Streams[0] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                    0x80, 0x80, 0x01, 0,    0}; // too long a number
    refused(m);
    m = good;
    m.Streams[1] = {1, 1, 4, 0}; // runs cover more than is copied
    refused(m);
    m = good;
    m.Streams[3].push_back('z'); // extra bytes no record uses
    refused(m, 8);
    m = good;
    m.Streams[2].push_back(9); // changed bytes no run uses
    refused(m);

    Bytes damaged = payload; // a stream that does not fill its declared room
    damaged.push_back(0);
    EXPECT_ANY_THROW(Apply(old, damaged, raw, 7));
    EXPECT_ANY_THROW(Apply(old, Bytes(payload.begin(), payload.begin() + 20), raw, 7));
}

} // namespace
} // namespace oru::patch
