// The decoder against deltas assembled by hand: what each instruction and address
// mode produces, and how every kind of malformed window is refused. Also the
// vectorised Adler-32 the checksums use, against zlib's.
#include "EngineTestSupport.h"

#include "engine/vcdiff/Adler32.h"
#include "platform/Streams.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>

namespace oru::test {
namespace {

using namespace oru::vcdiff;

TEST(VcdiffAdler32, MatchesZlibAcrossBlockAndTailLengths) {
    Bytes ones(70000, 0xFF); // the largest sums: overflow shows here first
    for (const Bytes& b : {RandomBytes(70000, 81), ones})
        for (size_t n : {0u, 1u, 15u, 16u, 17u, 5551u, 5552u, 5553u, 5568u, 11104u, 65536u, 70000u})
            // From the initial value, and from one with both halves near the modulus.
            for (uint32_t start : {1u, (65520u << 16) | 65519u})
                EXPECT_EQ(static_cast<uint32_t>(adler32(start, b.data(), static_cast<uInt>(n))),
                          Adler32(start, b.data(), n))
                    << n;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Default code table opcodes used below.
constexpr uint8_t kRun0 = 0;                                     // RUN, size follows
uint8_t Add(int size) { return static_cast<uint8_t>(1 + size); } // size 0..17
uint8_t Copy(int mode, int size) {                               // size 0 or 4..18
    return static_cast<uint8_t>(19 + 16 * mode + (size == 0 ? 0 : size - 3));
}

// A window over the source's first segLen bytes.
WindowLayout Src(uint64_t segLen, uint64_t targetLen, Bytes inst, Bytes addr, Bytes data = {}) {
    return {1, segLen, 0, targetLen, 0, std::move(data), std::move(inst), std::move(addr), 0, {}};
}

// A window without a segment.
WindowLayout Plain(uint64_t targetLen, Bytes data, Bytes inst, Bytes addr = {}) {
    return {0, 0, 0, targetLen, 0, std::move(data), std::move(inst), std::move(addr), 0, {}};
}

WindowLayout Checked(WindowLayout w) {
    w.indicator |= 4;
    w.adler = static_cast<uint32_t>(adler32(1, w.data.data(), static_cast<uInt>(w.data.size())));
    return w;
}

TEST(VcdiffDecode, InstructionsAndAddressModesProduceTheirBytes) {
    Bytes appHeader = BuildDelta({Plain(2, Str("ok"), {Add(2)})}, 4);
    appHeader.insert(appHeader.begin() + 5, {3, 'a', '/', 'b'});
    const Bytes zeroSizes = {Add(0), 0, kRun0, 0, Copy(0, 0), 0};
    std::string overlapping = std::string(8, 'z') + "abababababababababab" + "ab";
    for (int i = 0; i < 1003; ++i)
        overlapping += "xyz"[i % 3];
    struct Row {
        std::string name;
        Bytes source, delta, output;
    };
    std::vector<Row> rows = {
        // Near slot 0 + 2 is byte 2 although no COPY came before, in each window anew.
        {"near cache starts at zero in every window", Str("ABCDEFGH"),
         BuildDelta({Src(8, 4, {Copy(2, 4)}, {2}), Src(8, 4, {Copy(2, 4)}, {2})}), Str("CDEFCDEF")},
        // SELF 3 fills near[0] and same[3]; same mode byte 3 finds address 3 again; near
        // slot 0 + 2 is address 5; HERE 9 from here = 10 + 12 is address 13 = target 3.
        {"same and near caches follow earlier copies", Str("0123456789"),
         BuildDelta({Src(10, 16, {Copy(0, 4), Copy(6, 4), Copy(2, 4), Copy(1, 4)}, {3, 3, 2, 9})}),
         Str("3456345656786345")},
        // Period 1, 2 and 3 patterns, each longer than the bytes they start from.
        {"target copies overlap what they produce", {},
         BuildDelta({Plain(8 + 22 + 1003, Str("zabxyz"),
                           Concat({{Add(1), Copy(0, 7), Add(2), Copy(0, 0), 20, Add(3), Copy(0, 0)},
                                   Varint(1000)}),
                           {0, 8, 30})}),
         Str(overlapping)},
        // ADD 0, RUN 0 (one data byte) and COPY 0 (one address) still take their operands.
        {"zero-size instructions, empty window", Str("src"),
         BuildDelta({Src(3, 0, zeroSizes, {1}, {'x'})}), {}},
        {"zero-size instructions end a window", Str("src"),
         BuildDelta({Src(3, 2, Concat({{Add(2)}, zeroSizes}), {1}, Str("abx"))}), Str("ab")},
        {"application header is skipped", {}, appHeader, Str("ok")},
        {"no windows", {}, BuildDelta({}), {}},
        {"window checksum", {}, BuildDelta({Checked(Plain(5, Str("hello"), {Add(5)}))}),
         Str("hello")},
    };
    // Sizes on both sides of the step from three-byte to four-byte integers, in every
    // field they reach: the window lengths and each instruction's size.
    for (uint64_t n : {uint64_t{(1 << 21) - 1}, uint64_t{1 << 21}}) {
        const Bytes data = RandomBytes(n, 7);
        const std::string size = " of " + std::to_string(n);
        const Bytes run = BuildDelta({Plain(n, {'r'}, Concat({{kRun0}, Varint(n)}))});
        rows.push_back({"run" + size, {}, run, Bytes(n, 'r')});
        rows.push_back(
            {"add" + size, {}, BuildDelta({Plain(n, data, Concat({{Add(0)}, Varint(n)}))}), data});
        rows.push_back({"copy" + size, data,
                        BuildDelta({Src(n, n, Concat({{Copy(0, 0)}, Varint(n)}), {0})}), data});
    }
    for (const Row& row : rows)
        EXPECT_TRUE(row.output == DecodeBytes(row.source, row.delta)) << row.name;
}

TEST(VcdiffDecode, TargetWindowsCopyFromEarlierOutputNotFromBytesBeforeIt) {
    WindowLayout second = Src(4, 8, {Copy(0, 4), Copy(0, 4)}, {0, 4});
    second.indicator = 2;
    second.segPos = 1;
    TMemoryStream source, delta(BuildDelta({Plain(5, Str("hello"), {Add(5)}), second}));
    TMemoryStream target(Str("XX"));
    target.Seek(0, SeekOrigin::End);
    Decode(source, delta, target);
    EXPECT_EQ(Str("XXhelloelloello"), target.Data())
        << "VCD_TARGET segment is [1,5) of this decode's own output";
}

TEST(VcdiffDecode, SourceOffsetsCountFromTheStreamsPosition) {
    TMemoryStream source(Str("JUNKabcdefgh")), target;
    TMemoryStream delta(BuildDelta({Src(8, 4, {Copy(0, 4)}, {4})}));
    source.Seek(4, SeekOrigin::Begin);
    Decode(source, delta, target);
    EXPECT_EQ(Str("efgh"), target.Data());
}

// Nothing in the program watches a decode's progress: one case for the service.
TEST(VcdiffDecode, ProgressCanAbort) {
    TMemoryStream source, target;
    TMemoryStream delta(BuildDelta({Plain(3 << 20, {'r'}, Concat({{kRun0}, Varint(3 << 20)}))}));
    DecodeOptions options;
    options.progress = [](int64_t done) { return done < (1 << 20); };
    EXPECT_THROW(Decode(source, delta, target, options), EAbort);
    EXPECT_LT(target.GetSize(), 3 << 20);
}

TEST(VcdiffDecode, MalformedDeltasAreRefusedWithAClearMessage) {
    const Bytes hello = Str("hello");
    const WindowLayout ok = Plain(5, hello, {Add(5)});
    auto one = [](const WindowLayout& w) { return BuildDelta({w}); };
    auto changed = [&](const std::function<void(WindowLayout&)>& change) {
        WindowLayout w = ok;
        change(w);
        return BuildDelta({w});
    };
    Bytes overlong = one(ok), truncated = one(ok);
    overlong.insert(overlong.begin() + 6, 10, 0x80);
    truncated.resize(truncated.size() - 3);
    const struct {
        const char* name;
        Bytes delta;
        const char* message; // a part of the expected message
    } rows[] = {
        {"secondary compressor", BuildDelta({}, 1), "secondary compression"},
        {"custom code table", BuildDelta({}, 2), "custom code table"},
        {"reserved header bits", BuildDelta({}, 0x08), "reserved bits"},
        {"bad version", {0xD6, 0xC3, 0xC4, 0x01, 0}, "version"},
        {"not vcdiff", Str("PK\x03\x04 zip"), "signature"},
        {"compressed data section", changed([](auto& w) { w.deltaIndicator = 1; }),
         "secondary compression"},
        {"reserved delta indicator bits", changed([](auto& w) { w.deltaIndicator = 0x10; }),
         "reserved bits"},
        {"reserved window bits", changed([](auto& w) { w.indicator = 0x08; }), "reserved bits"},
        {"source and target", changed([](auto& w) { w.indicator = 3; }), "both"},
        {"delta length", changed([](auto& w) { w.deltaLength = 99; }), "does not match"},
        {"wrong checksum", changed([](auto& w) { w = Checked(w); w.adler ^= 0x100; }),
         "checksum"},
        {"segment beyond source", one(Src(11, 4, {Copy(0, 4)}, {0})), "beyond the source"},
        {"copy crosses segment end", one(Src(8, 4, {Copy(0, 4)}, {6})),
         "past the end of the source segment"},
        {"copy from the future", one(Plain(6, Str("ab"), {Add(2), Copy(0, 4)}, {2})), "not below"},
        {"copy without any bytes before it", one(Plain(4, {}, {Copy(2, 4)}, {0})), "not below"},
        {"here before start", one(Src(8, 4, {Copy(1, 4)}, {9})), "before the start"},
        {"writes past window", one(Plain(4, hello, {Add(5)})), "past the end"},
        {"produces too little", one(Plain(6, hello, {Add(5)})), "produce 5 bytes"},
        {"unused data", one(Plain(4, hello, {Add(4)})), "never used"},
        {"unused address", one(Src(8, 4, {Copy(0, 4)}, {0, 0})), "never used"},
        {"add beyond data", one(Plain(6, hello, {Add(6)})), "too short"},
        {"run without data", one(Plain(3, {}, {kRun0, 3})), "too short"},
        {"size missing", one(Plain(3, {}, {Add(0)})), "ends inside a number"},
        {"address missing", one(Src(8, 4, {Copy(0, 4)}, {})), "ends inside a number"},
        {"huge size", one(Plain(3, {}, Concat({{Add(0)}, Bytes(11, 0xFF), {1}}))), "too large"},
        {"overlong varint", overlong, "too large"},
        {"window over the limit", one(Plain(uint64_t(1) << 40, {}, {})), "limit"},
        {"sections far larger than the window", one(Plain(1, Bytes(3 << 20, 'x'), {Add(1)})),
         "far larger"},
        {"truncated section", truncated, "ends inside the data section"},
    };
    for (const auto& row : rows) {
        auto decode = [&] { DecodeBytes(Str("0123456789"), row.delta); };
        EXPECT_NE(MessageOf<VcdiffError>(decode).find(row.message), std::string::npos) << row.name;
    }
}

TEST(VcdiffDecode, WindowLimitIsConfigurable) {
    Bytes delta = BuildDelta({Plain(5, Str("hello"), {Add(5)})});
    DecodeOptions options;
    options.maxTargetWindow = 4;
    EXPECT_THROW(DecodeBytes({}, delta, options), VcdiffError);
    options.maxTargetWindow = 5;
    EXPECT_EQ(Str("hello"), DecodeBytes({}, delta, options));
}

TEST(VcdiffDecode, SourceShorterThanDeclaredIsRefused) {
    // The segment check uses the source's size; a source that shrinks behind the
    // decoder's back is caught when the bytes are read.
    class ShrinkingStream : public TMemoryStream {
    public:
        using TMemoryStream::TMemoryStream;
        int64_t GetSize() override { return 1 << 20; }
    };
    ShrinkingStream source(Str("short"));
    TMemoryStream delta(BuildDelta({Src(1 << 20, 4, {Copy(0, 4)}, Varint(1000))})), target;
    EXPECT_THROW(Decode(source, delta, target), VcdiffError);
}

} // namespace
} // namespace oru::test
