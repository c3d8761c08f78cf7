#include "VcdiffTestSupport.h"

#include "platform/Streams.h"

#include <random>

namespace oru::vcdiff::test {

Bytes EncodeBytes(const Bytes& source, const Bytes& target, const EncodeOptions& options) {
    TMemoryStream s(source), t(target), d;
    Encode(s, t, d, options);
    return d.Data();
}

Bytes DecodeBytes(const Bytes& source, const Bytes& delta, const DecodeOptions& options) {
    TMemoryStream s(source), d(delta), t;
    Decode(s, d, t, options);
    return t.Data();
}

Bytes WordBytes(size_t n, uint32_t seed) {
    static const std::string words[] = {"update ", "patch ",  "window ",     "source ",   "target ", "copy ",
                                        "add ",    "run ",    "{\"id\": ",   "42, ",      "\"name\": ",
                                        "\"oru\"}, ", "\n",   "address ",    "cache ",    "near "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::string& w = words[rng() % std::size(words)];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

Bytes Varint(uint64_t v) {
    Bytes out{static_cast<uint8_t>(v & 0x7F)};
    while (v >>= 7)
        out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes BuildDelta(const std::vector<WindowLayout>& windows, uint8_t headerIndicator) {
    Bytes out = {0xD6, 0xC3, 0xC4, 0x00, headerIndicator};
    for (const WindowLayout& w : windows) {
        out.push_back(w.indicator);
        if (w.indicator & 3)
            out = Concat({out, Varint(w.segLen), Varint(w.segPos)});
        Bytes body = Concat({Varint(w.targetLen), Bytes{w.deltaIndicator}, Varint(w.data.size()),
                             Varint(w.inst.size()), Varint(w.addr.size())});
        if (w.indicator & 4)
            for (int shift : {24, 16, 8, 0})
                body.push_back(static_cast<uint8_t>(w.adler >> shift));
        body = Concat({body, w.data, w.inst, w.addr});
        out = Concat({out, Varint(w.deltaLength.value_or(body.size())), body});
    }
    return out;
}

} // namespace oru::vcdiff::test
