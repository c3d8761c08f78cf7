// libFuzzer target for the VCDIFF codec. An input starting with an even byte is a
// delta, applied to a fixed source: it must decode or raise VcdiffError. An input
// starting with an odd byte is a file pair: encoding it and decoding the delta
// must give the target back.
#include "engine/vcdiff/Vcdiff.h"
#include "platform/Streams.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using oru::TMemoryStream;
namespace vcdiff = oru::vcdiff;

const std::vector<uint8_t>& FixedSource() {
    static const std::vector<uint8_t> source = [] {
        // Large enough for the segments of the seed deltas; text-like and random halves.
        std::vector<uint8_t> s(128 * 1024);
        uint32_t x = 12345;
        for (size_t i = 0; i < s.size(); ++i) {
            x = x * 1103515245u + 12345u;
            const unsigned r = x >> 16;
            s[i] = static_cast<uint8_t>(i < s.size() / 2 ? 'a' + r % 26 : r);
        }
        return s;
    }();
    return source;
}

void DecodeOnly(const uint8_t* data, size_t size) {
    TMemoryStream source(FixedSource()), delta(std::vector<uint8_t>(data, data + size)), target;
    vcdiff::DecodeOptions options;
    options.maxTargetWindow = 4 << 20;
    options.sourceCache = 1 << 20;
    try {
        vcdiff::Decode(source, delta, target, options);
    } catch (const vcdiff::VcdiffError&) {
    }
}

void RoundTrip(const uint8_t* data, size_t size) {
    if (size < 4)
        return;
    size_t split = (static_cast<size_t>(data[1]) << 8 | data[2]) % (size - 3 + 1);
    const uint8_t* body = data + 3;
    std::vector<uint8_t> src(body, body + split), tgt(body + split, data + size);
    vcdiff::EncodeOptions options;
    options.targetWindow = 64 + (data[0] >> 1) * 16; // several windows for larger inputs
    options.sourceWindow = 256 + (data[0] >> 1) * 32;
    options.level = 1 + (data[0] >> 1) % 9;
    options.checksum = (data[0] & 2) != 0;
    TMemoryStream s(src), t(tgt), d;
    vcdiff::Encode(s, t, d, options);
    TMemoryStream s2(src), d2(d.Data()), out;
    vcdiff::Decode(s2, d2, out);
    if (out.Data() != tgt)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    if (data[0] & 1)
        RoundTrip(data, size);
    else
        DecodeOnly(data, size);
    return 0;
}
