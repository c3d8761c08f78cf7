// The difference delta's layers: suffix sorting, the branch transform, and the
// delta itself (round trips and the bounds the applier enforces).
#include "EngineTestSupport.h"
#include "engine/BranchFilter.h"
#include "engine/SuffixSort.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

namespace oru::patch {
namespace {

using oru::test::Bytes;
using oru::test::Concat;
using oru::test::MessageOf;
using oru::test::RandomBytes;

TEST(SuffixSort, OwnSortAgreesWithNaiveAndLibraryOnHardShapes) {
    std::vector<Bytes> inputs = {{}, {7}, Bytes(300, 'a'), RandomBytes(2000, 1, 2),
                                 RandomBytes(3000, 2, 4), RandomBytes(1500, 3)};
    Bytes periodic;
    for (int i = 0; i < 500; ++i)
        periodic.insert(periodic.end(), {'a', 'b', 'a', 'a', 'b'});
    inputs.push_back(periodic);
    for (const Bytes& s : inputs) {
        std::vector<int32_t> expected(s.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) {
            return std::lexicographical_compare(s.begin() + a, s.end(), s.begin() + b, s.end());
        });
        EXPECT_EQ(OwnSuffixArray(s.data(), s.size()), expected) << "size " << s.size();
        EXPECT_EQ(SuffixArray(s.data(), s.size()), expected) << SuffixSorterName();
    }
}

TEST(BranchFilter, RestoresEveryBlockExactly) {
    // Code-like bytes: many call and jump opcodes, some near block boundaries.
    Bytes original = RandomBytes(3 * kBranchBlock + 777, 5);
    std::mt19937 rng(5);
    for (size_t i = 0; i + 6 < original.size(); i += 3 + rng() % 9) {
        static const uint8_t ops[] = {0xE8, 0xE9, 0x0F};
        original[i] = ops[rng() % 3];
        if (original[i] == 0x0F)
            original[i + 1] = static_cast<uint8_t>(0x80 + rng() % 16);
        original[i + (original[i] == 0x0F ? 5 : 4)] = rng() % 2 ? 0x00 : 0xFF;
    }
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

// Returns the size of the raw streams, which shows the matcher's choices.
uint64_t RoundTrip(const Bytes& old, const Bytes& neu) {
    TBsDeltaResult d = MakeBsDelta(old, neu);
    EXPECT_EQ(Apply(old, d.Payload, d.RawSize, neu.size()), neu);
    return d.RawSize;
}

TEST(BsDelta, RoundTripsEdgeShapes) {
    Bytes base = RandomBytes(100000, 7, 16);
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
    RoundTrip(base, RandomBytes(50000, 8));
    // A match widened backwards up to the old file's first byte: that byte is copied
    // with its difference, not sent again as extra.
    Bytes head = RandomBytes(2000, 11), shifted = RandomBytes(300, 12);
    shifted.insert(shifted.end(), head.begin(), head.end());
    shifted[303] ^= 0x55;
    EXPECT_EQ(RoundTrip(head, shifted), 315u);
    // Longer than the engine's output buffer and old-file cache, jumping backwards.
    Bytes big = RandomBytes(3 << 20, 9);
    Bytes moved(big.begin() + (2 << 20), big.end());
    moved.insert(moved.end(), big.begin(), big.begin() + (2 << 20));
    RoundTrip(big, moved);
}

// A payload assembled from raw streams, so each field can be set by hand.
struct THandMade {
    uint8_t Transform = 0;
    uint64_t Copied = 0;
    std::array<Bytes, kBsStreams> Streams;

    Bytes Payload() const { return oru::test::BsPayload(Transform, Copied, Streams); }
    uint64_t RawSize() const {
        return std::accumulate(Streams.begin(), Streams.end(), uint64_t{0},
                               [](uint64_t n, const Bytes& s) { return n + s.size(); });
    }
};

TEST(BsDelta, HandMadePayloadAppliesAndEveryBoundIsEnforced) {
    const Bytes old = {10, 20, 30, 40, 50};
    // Two records: 3 bytes from old[0] (the middle one changed by +1), 2 extra bytes,
    // seek back to 1; then 2 bytes from old[1] unchanged. Runs: 1 same, 1 changed,
    // 1 same; then 2 same.
    const THandMade good{
        0, 5, {Bytes{3, 2, 3 /* -2 */, 2, 0, 0}, {1, 1, 1, 0, 2, 0}, {1}, {'x', 'y'}}};
    const Bytes payload = good.Payload();
    const uint64_t raw = good.RawSize();
    EXPECT_EQ(Apply(old, payload, raw, 7), (Bytes{10, 21, 30, 'x', 'y', 20, 30}));

    const struct {
        std::function<void(THandMade&)> change;
        const char* says;
        uint64_t newSize = 7;
        uint64_t rawExtra = 0;
    } rows[] = {
        {[](THandMade&) {}, "add up to the new file's size", 8},
        {[](THandMade&) {}, "the entry's raw size", 7, 1},
        {[](THandMade& m) { m.Transform = 2; }, "transform is unknown"},
        {[](THandMade& m) { m.Copied = 6; m.Streams = {Bytes{6, 2, 0}, {6, 0}, {}, {'x', 'y'}}; },
         "beyond the end of the old file", 8},
        {[](THandMade& m) { m.Streams[0][2] = 7; }, "moves outside the old file"}, // -4 at 3
        {[](THandMade& m) { m.Streams[0][5] = 10; }, "moves outside the old file"},
        {[](THandMade& m) { m.Streams[0].pop_back(); }, "ends inside a record"},
        {[](THandMade& m) { m.Streams[0] = Concat({Bytes(8, 0x80), {1, 0, 0}}); }, "too long"},
        {[](THandMade& m) { m.Streams[1] = {1, 1, 4, 0}; }, "run of differences is out of range"},
        {[](THandMade& m) { m.Streams[1] = {1, 2, 2, 0}; }, "more changed bytes than its stream"},
        {[](THandMade& m) { m.Streams[3].push_back('z'); }, "no record uses", 8},
        {[](THandMade& m) { m.Streams[2].push_back(9); }, "no record uses"},
    };
    for (const auto& row : rows) {
        THandMade m = good;
        row.change(m);
        const Bytes p = m.Payload();
        const uint64_t r = m.RawSize() + row.rawExtra;
        EXPECT_NE(MessageOf<EBsDeltaError>([&] { Apply(old, p, r, row.newSize); }).find(row.says),
                  std::string::npos)
            << row.says;
    }
    Bytes padded = payload, reserved = payload;
    padded.push_back(0);
    reserved[2] = 1;
    for (const auto& row :
         {std::pair{padded, "fill the payload exactly"}, std::pair{reserved, "reserved bytes"},
          std::pair{Bytes(payload.begin(), payload.begin() + 20), "header is incomplete"}})
        EXPECT_NE(MessageOf<EBsDeltaError>([&] { Apply(old, row.first, raw, 7); }).find(row.second),
                  std::string::npos)
            << row.second;
}

} // namespace
} // namespace oru::patch
