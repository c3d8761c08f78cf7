// Helpers for the VCDIFF codec tests: byte-vector round trips, test data, and a
// builder for deltas assembled by hand.
#pragma once

#include "engine/vcdiff/Vcdiff.h"
#include "platform/Streams.h"
#include "support/Files.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace oru::vcdiff::test {

using Bytes = std::vector<uint8_t>;
using oru::test::ReadWholeBytes;
using oru::test::WriteWholeFile;

inline Bytes EncodeBytes(const Bytes& source, const Bytes& target, const EncodeOptions& options = {}) {
    TMemoryStream s(source), t(target), d;
    Encode(s, t, d, options);
    return d.Data();
}

inline Bytes DecodeBytes(const Bytes& source, const Bytes& delta, const DecodeOptions& options = {}) {
    TMemoryStream s(source), d(delta), t;
    Decode(s, d, t, options);
    return t.Data();
}

inline Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

// Text-like bytes with many repeats (words drawn from a small vocabulary).
inline Bytes WordBytes(size_t n, uint32_t seed) {
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

inline Bytes Varint(uint64_t v) {
    Bytes out{static_cast<uint8_t>(v & 0x7F)};
    while (v >>= 7)
        out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One window, written in the order the format lays it out.
struct WindowLayout {
    uint8_t indicator = 0; // VCD_SOURCE 1, VCD_TARGET 2, Adler-32 4
    uint64_t segLen = 0;
    uint64_t segPos = 0;
    uint64_t targetLen = 0;
    uint8_t deltaIndicator = 0;
    Bytes data, inst, addr;
    uint32_t adler = 0;                  // written when indicator has bit 4
    std::optional<uint64_t> deltaLength; // the correct length unless set
};

// The file header (with a header indicator) followed by windows.
inline Bytes BuildDelta(const std::vector<WindowLayout>& windows, uint8_t headerIndicator = 0) {
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
