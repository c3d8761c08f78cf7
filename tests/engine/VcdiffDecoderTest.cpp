// The decoder against deltas assembled by hand: what each instruction and address
// mode produces, and how every kind of malformed window is refused. Also the
// vectorised Adler-32 the checksums use, against zlib's.
#include "VcdiffTestSupport.h"

#include "engine/vcdiff/Adler32.h"
#include "platform/Streams.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace oru::vcdiff::test {
namespace {

using oru::test::MessageOf;

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
constexpr uint8_t kRun0 = 0;                      // RUN, size follows
uint8_t Add(int size) { return static_cast<uint8_t>(1 + size); }          // size 0..17
uint8_t Copy(int mode, int size) {                                         // size 0 or 4..18
    return static_cast<uint8_t>(19 + 16 * mode + (size == 0 ? 0 : size - 3));
}

WindowLayout SourceWindow(uint64_t segLen, uint64_t targetLen, Bytes data, Bytes inst, Bytes addr) {
    return {1, segLen, 0, targetLen, 0, std::move(data), std::move(inst), std::move(addr), 0, {}};
}

WindowLayout PlainWindow(uint64_t targetLen, Bytes data, Bytes inst, Bytes addr = {}) {
    return {0, 0, 0, targetLen, 0, std::move(data), std::move(inst), std::move(addr), 0, {}};
}

WindowLayout Checked(WindowLayout w) {
    w.indicator |= 4;
    w.adler = static_cast<uint32_t>(adler32(1, w.data.data(), static_cast<uInt>(w.data.size())));
    return w;
}

TEST(VcdiffDecode, InstructionsAndAddressModesProduceTheirBytes) {
    Bytes appHeader = BuildDelta({PlainWindow(2, Str("ok"), {Add(2)})}, 4);
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
         BuildDelta({SourceWindow(8, 4, {}, {Copy(2, 4)}, {2}), SourceWindow(8, 4, {}, {Copy(2, 4)}, {2})}),
         Str("CDEFCDEF")},
        // SELF 3 fills near[0] and same[3]; same mode byte 3 finds address 3 again; near
        // slot 0 + 2 is address 5; HERE 9 from here = 10 + 12 is address 13 = target 3.
        {"same and near caches follow earlier copies", Str("0123456789"),
         BuildDelta({SourceWindow(10, 16, {}, {Copy(0, 4), Copy(6, 4), Copy(2, 4), Copy(1, 4)}, {3, 3, 2, 9})}),
         Str("3456345656786345")},
        // Period 1, 2 and 3 patterns, each longer than the bytes they start from.
        {"target copies overlap what they produce", {},
         BuildDelta({PlainWindow(8 + 22 + 1003, Str("zabxyz"),
                                 Concat({{Add(1), Copy(0, 7), Add(2), Copy(0, 0), 20, Add(3), Copy(0, 0)}, Varint(1000)}),
                                 {0, 8, 30})}),
         Str(overlapping)},
        // ADD 0, RUN 0 (one data byte) and COPY 0 (one address) still take their operands.
        {"zero-size instructions, empty window", Str("src"), BuildDelta({SourceWindow(3, 0, {'x'}, zeroSizes, {1})}), {}},
        {"zero-size instructions end a window", Str("src"),
         BuildDelta({SourceWindow(3, 2, Str("abx"), Concat({{Add(2)}, zeroSizes}), {1})}), Str("ab")},
        {"application header is skipped", {}, appHeader, Str("ok")},
        {"no windows", {}, BuildDelta({}), {}},
        {"window checksum", {}, BuildDelta({Checked(PlainWindow(5, Str("hello"), {Add(5)}))}), Str("hello")},
    };
    // Sizes on both sides of the step from three-byte to four-byte integers, in every
    // field they reach: the window lengths and each instruction's size.
    for (uint64_t n : {uint64_t{(1 << 21) - 1}, uint64_t{1 << 21}}) {
        const Bytes data = RandomBytes(n, 7);
        const std::string size = " of " + std::to_string(n);
        rows.push_back({"run" + size, {}, BuildDelta({PlainWindow(n, {'r'}, Concat({Bytes{kRun0}, Varint(n)}))}),
                        Bytes(n, 'r')});
        rows.push_back({"add" + size, {}, BuildDelta({PlainWindow(n, data, Concat({Bytes{Add(0)}, Varint(n)}))}), data});
        rows.push_back({"copy" + size, data,
                        BuildDelta({SourceWindow(n, n, {}, Concat({Bytes{Copy(0, 0)}, Varint(n)}), {0})}), data});
    }
    for (const Row& row : rows)
        EXPECT_TRUE(row.output == DecodeBytes(row.source, row.delta)) << row.name;
}

TEST(VcdiffDecode, TargetWindowsCopyFromEarlierOutputNotFromBytesBeforeIt) {
    WindowLayout first = PlainWindow(5, Str("hello"), {Add(5)});
    WindowLayout second = SourceWindow(4, 8, {}, {Copy(0, 4), Copy(0, 4)}, {0, 4});
    second.indicator = 2;
    second.segPos = 1;
    TMemoryStream source, delta(BuildDelta({first, second})), target(Str("XX"));
    target.Seek(0, SeekOrigin::End);
    Decode(source, delta, target);
    EXPECT_EQ(Str("XXhelloelloello"), target.Data())
        << "VCD_TARGET segment is [1,5) of this decode's own output";
}

TEST(VcdiffDecode, SourceOffsetsCountFromTheStreamsPosition) {
    TMemoryStream source(Str("JUNKabcdefgh")), delta(BuildDelta({SourceWindow(8, 4, {}, {Copy(0, 4)}, {4})})),
        target;
    source.Seek(4, SeekOrigin::Begin);
    Decode(source, delta, target);
    EXPECT_EQ(Str("efgh"), target.Data());
}

TEST(VcdiffDecode, ProgressReportsTotalsAndCanAbort) {
    Bytes inst = Concat({Bytes{kRun0}, Varint(3 << 20)});
    Bytes delta = BuildDelta({PlainWindow(3 << 20, {'r'}, inst), PlainWindow(3, Str("end"), {Add(3)})});
    std::vector<int64_t> seen;
    DecodeOptions options;
    options.progress = [&](int64_t done) {
        seen.push_back(done);
        return true;
    };
    EXPECT_EQ(size_t(3 << 20) + 3, DecodeBytes({}, delta, options).size());
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ((3 << 20) + 3, seen.back());

    options.progress = [](int64_t done) { return done < (1 << 20); };
    TMemoryStream source, d(delta), target;
    EXPECT_THROW(Decode(source, d, target, options), EAbort);
    EXPECT_LT(target.GetSize(), 3 << 20);
}

struct BadDelta {
    const char* name;
    Bytes delta;
    const char* message; // a part of the expected message
};

std::vector<BadDelta> BadDeltas() {
    Bytes hello = Str("hello");
    std::vector<BadDelta> v;
    v.push_back({"secondary compressor", BuildDelta({}, 1), "secondary compression"});
    v.push_back({"custom code table", BuildDelta({}, 2), "custom code table"});
    v.push_back({"reserved header bits", BuildDelta({}, 0x08), "reserved bits"});
    v.push_back({"bad version", Bytes{0xD6, 0xC3, 0xC4, 0x01, 0}, "version"});
    v.push_back({"not vcdiff", Str("PK\x03\x04 zip"), "signature"});
    {
        WindowLayout w = PlainWindow(5, hello, {Add(5)});
        w.deltaIndicator = 1;
        v.push_back({"compressed data section", BuildDelta({w}), "secondary compression"});
        w.deltaIndicator = 0x10;
        v.push_back({"reserved delta indicator bits", BuildDelta({w}), "reserved bits"});
        w.deltaIndicator = 0;
        w.indicator = 0x08;
        v.push_back({"reserved window bits", BuildDelta({w}), "reserved bits"});
        w.indicator = 3;
        v.push_back({"source and target", BuildDelta({w}), "both"});
        w.indicator = 0;
        w.deltaLength = 99;
        v.push_back({"delta length", BuildDelta({w}), "does not match"});
        w = Checked(PlainWindow(5, hello, {Add(5)}));
        w.adler ^= 0x100;
        v.push_back({"wrong checksum", BuildDelta({w}), "checksum"});
    }
    v.push_back({"segment beyond source", BuildDelta({SourceWindow(11, 4, {}, {Copy(0, 4)}, {0})}),
                 "beyond the source"});
    v.push_back({"copy crosses segment end", BuildDelta({SourceWindow(8, 4, {}, {Copy(0, 4)}, {6})}),
                 "past the end of the source segment"});
    v.push_back({"copy from the future", BuildDelta({PlainWindow(6, Str("ab"), {Add(2), Copy(0, 4)}, {2})}),
                 "not below"});
    v.push_back({"copy without any bytes before it", BuildDelta({PlainWindow(4, {}, {Copy(2, 4)}, {0})}),
                 "not below"});
    v.push_back({"here before start", BuildDelta({SourceWindow(8, 4, {}, {Copy(1, 4)}, {9})}),
                 "before the start"});
    v.push_back({"writes past window", BuildDelta({PlainWindow(4, hello, {Add(5)})}), "past the end"});
    v.push_back({"produces too little", BuildDelta({PlainWindow(6, hello, {Add(5)})}), "produce 5 bytes"});
    v.push_back({"unused data", BuildDelta({PlainWindow(4, hello, {Add(4)})}), "never used"});
    v.push_back({"unused address", BuildDelta({SourceWindow(8, 4, {}, {Copy(0, 4)}, {0, 0})}), "never used"});
    v.push_back({"add beyond data", BuildDelta({PlainWindow(6, hello, {Add(6)})}), "too short"});
    v.push_back({"run without data", BuildDelta({PlainWindow(3, {}, {kRun0, 3})}), "too short"});
    v.push_back({"size missing", BuildDelta({PlainWindow(3, {}, {Add(0)})}), "ends inside a number"});
    v.push_back({"address missing", BuildDelta({SourceWindow(8, 4, {}, {Copy(0, 4)}, {})}),
                 "ends inside a number"});
    v.push_back({"huge size", BuildDelta({PlainWindow(3, {}, Concat({Bytes{Add(0)}, Bytes(11, 0xFF), Bytes{1}}))}),
                 "too large"});
    {
        Bytes d = BuildDelta({PlainWindow(5, hello, {Add(5)})});
        d.insert(d.begin() + 6, {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80});
        v.push_back({"overlong varint", d, "too large"});
    }
    v.push_back({"window over the limit", BuildDelta({PlainWindow(uint64_t(1) << 40, {}, {})}), "limit"});
    v.push_back({"sections far larger than the window",
                 BuildDelta({PlainWindow(1, Bytes(3 << 20, 'x'), {Add(1)})}), "far larger"});
    {
        Bytes d = BuildDelta({PlainWindow(5, hello, {Add(5)})});
        d.resize(d.size() - 3);
        v.push_back({"truncated section", d, "ends inside the data section"});
    }
    return v;
}

TEST(VcdiffDecode, MalformedDeltasAreRefusedWithAClearMessage) {
    for (const BadDelta& bad : BadDeltas())
        EXPECT_NE(MessageOf<VcdiffError>([&] { DecodeBytes(Str("0123456789"), bad.delta); }).find(bad.message),
                  std::string::npos)
            << bad.name;
}

TEST(VcdiffDecode, WindowLimitIsConfigurable) {
    Bytes delta = BuildDelta({PlainWindow(5, Str("hello"), {Add(5)})});
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
    TMemoryStream delta(BuildDelta({SourceWindow(1 << 20, 4, {}, {Copy(0, 4)}, {Varint(1000)})})), target;
    EXPECT_THROW(Decode(source, delta, target), VcdiffError);
}

} // namespace
} // namespace oru::vcdiff::test
