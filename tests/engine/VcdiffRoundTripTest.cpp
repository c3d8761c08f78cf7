// Encoder and decoder together: every pair must come back exactly, under every
// option set, and pairs that share content must give small deltas.
#include "EngineTestSupport.h"

#include "platform/Streams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

namespace oru::test {
namespace {

using namespace oru::vcdiff;

struct Pair {
    std::string name;
    Bytes source, target;
    std::array<size_t, 4> sizes{}; // the delta's size under each option set below
};

Bytes Edited(Bytes b, size_t every, uint32_t seed) {
    std::mt19937 rng(seed);
    for (size_t i = rng() % every; i < b.size(); i += 1 + rng() % every)
        b[i] = static_cast<uint8_t>(b[i] + 1 + rng() % 3);
    return b;
}

std::vector<Pair> Pairs() {
    Bytes r = RandomBytes(40000, 1);
    Bytes w = WordBytes(30000, 2);
    std::vector<Pair> v;
    v.push_back({"empty to empty", {}, {}, {16, 16, 12, 16}});
    v.push_back({"empty to content", {}, w, {6281, 10735, 7194, 7925}});
    v.push_back({"content to empty", r, {}, {16, 16, 12, 16}});
    v.push_back({"one byte to one byte", {'a'}, {'b'}, {18, 18, 14, 18}});
    v.push_back({"one byte unchanged", {'a'}, {'a'}, {18, 18, 14, 18}});
    v.push_back({"identical", r, r, {27, 827, 23, 210}});
    {
        Bytes t = r;
        Bytes tail = RandomBytes(5000, 3);
        t.insert(t.end(), tail.begin(), tail.end());
        v.push_back({"appended", r, t, {5032, 5912, 5028, 5232}});
        v.push_back({"truncated", t, r, {27, 827, 23, 210}});
    }
    {
        Bytes t = r;
        Bytes mid = RandomBytes(777, 4);
        t.insert(t.begin() + 12345, mid.begin(), mid.end());
        v.push_back({"inserted", r, t, {814, 1632, 810, 994}});
        v.push_back({"deleted", t, r, {32, 833, 28, 214}});
    }
    {
        // Blocks of the source in another order, one of them twice.
        Bytes t;
        for (size_t b : {7u, 2u, 9u, 0u, 2u, 5u, 1u})
            t.insert(t.end(), r.begin() + b * 4000, r.begin() + b * 4000 + 4000);
        v.push_back({"shuffled blocks", r, t, {55, 24497, 51, 177}});
    }
    v.push_back({"scattered byte edits", r, Edited(r, 40, 5), {8431, 9181, 8427, 8633}});
    v.push_back({"text edits", w, Edited(w, 300, 6), {1245, 1776, 1241, 1378}});
    v.push_back({"unrelated", r, RandomBytes(20000, 7), {20026, 20345, 20022, 20090}});
    {
        Bytes t(50000, 0);
        std::copy(r.begin(), r.begin() + 1000, t.begin() + 20000);
        t[45000] = 9;
        v.push_back({"long runs", r, t, {41, 1808, 37, 233}});
    }
    {
        Bytes t = r;
        t.insert(t.end(), r.begin(), r.end());
        v.push_back({"source twice", r, t, {34, 38519, 30, 420}});
    }
    v.push_back({"one long run", {}, Bytes(100000, 'x'), {23, 1605, 19, 405}});
    return v;
}

struct OptionSet {
    const char* name;
    EncodeOptions options;
};

const OptionSet kOptionSets[] = {
    {"defaults", {}},
    {"small windows", {1000, 3000}},
    {"level 1 without checksum", {8 << 20, 32 << 20, 1, false}},
    {"odd window", {4097, 32 << 20, 5}},
};

// The encoder's choices on fixed inputs: a change in how it matches, how it prices
// an address or which mode it picks shows as another size. Shared content must cost
// next to nothing (identical data is one COPY, a run one RUN). New figures need a reason.
TEST(VcdiffRoundTrip, EveryPairUnderEveryOptionSetComesBackAtItsPinnedSize) {
    uLong crc = crc32(0, nullptr, 0);
    for (const Pair& p : Pairs())
        for (size_t i = 0; i < std::size(kOptionSets); ++i) {
            SCOPED_TRACE(p.name + " / " + kOptionSets[i].name);
            Bytes delta = EncodeBytes(p.source, p.target, kOptionSets[i].options);
            EXPECT_EQ(delta.size(), p.sizes[i]);
            EXPECT_NO_THROW(EXPECT_TRUE(DecodeBytes(p.source, delta) == p.target));
            crc = crc32(crc, delta.data(), static_cast<uInt>(delta.size()));
        }
    // Where two address modes cost the same the choice still shows in how well the
    // patch deflates: all the bytes are pinned too.
    EXPECT_EQ(crc, 0x9A3B9575u);
}

TEST(VcdiffRoundTrip, SourceWindowFollowsTheTargetThroughALargeSource) {
    // 400 KB source, matched through a 64 KB source window: the window must move along.
    Bytes source = RandomBytes(400000, 21);
    Bytes target = Edited(source, 5000, 22);
    target.erase(target.begin() + 100000, target.begin() + 130000);
    Bytes extra = RandomBytes(20000, 23);
    target.insert(target.begin() + 250000, extra.begin(), extra.end());
    EncodeOptions o;
    o.targetWindow = 16 << 10;
    o.sourceWindow = 64 << 10;
    Bytes delta = EncodeBytes(source, target, o);
    EXPECT_TRUE(DecodeBytes(source, delta) == target);
    EXPECT_LE(delta.size(), extra.size() + 8000) << "the moving source window lost its place";
}

TEST(VcdiffRoundTrip, LongCopiesThroughASmallSourceCache) {
    // COPYs longer than the cache's blocks, starting inside a block, from two far
    // apart places in turn: direct reads, partial blocks and evictions.
    Bytes source = RandomBytes(3 << 20, 25);
    auto part = [&](size_t from, size_t to) {
        return Bytes(source.begin() + from, source.begin() + to);
    };
    Bytes target =
        Concat({part(100, 1 << 20), part((2 << 20) + 7, source.size()), part(5000, 600000)});
    Bytes delta = EncodeBytes(source, target);
    EXPECT_LT(delta.size(), 200u);
    DecodeOptions o;
    o.sourceCache = 300 << 10;
    EXPECT_TRUE(DecodeBytes(source, delta, o) == target);
}

TEST(VcdiffRoundTrip, EncoderReadsStreamsFromTheirCurrentPosition) {
    Bytes source = RandomBytes(20000, 41), target = Edited(source, 500, 42);
    Bytes junk = RandomBytes(999, 43);
    TMemoryStream s(Concat({junk, source})), t(Concat({junk, target})), d;
    s.Seek(999, SeekOrigin::Begin);
    t.Seek(999, SeekOrigin::Begin);
    Encode(s, t, d);
    EXPECT_TRUE(DecodeBytes(source, d.Data()) == target); // the decoder's side: VcdiffDecode
}

} // namespace
} // namespace oru::test
