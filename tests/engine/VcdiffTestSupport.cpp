#include "VcdiffTestSupport.h"

#include "platform/Streams.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

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

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

Bytes WordBytes(size_t n, uint32_t seed) {
    static const char* words[] = {"update ", "patch ", "window ", "source ", "target ", "copy ",
                                  "add ",    "run ",   "{\"id\": ", "42, ",   "\"name\": ",
                                  "\"oru\"}, ", "\n",  "address ", "cache ", "near "};
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n + 16);
    while (b.size() < n) {
        const char* w = words[rng() % std::size(words)];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    }
    b.resize(n);
    return b;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes Varint(uint64_t v) {
    Bytes tmp;
    tmp.push_back(static_cast<uint8_t>(v & 0x7F));
    while (v >>= 7)
        tmp.push_back(static_cast<uint8_t>(0x80 | (v & 0x7F)));
    return Bytes(tmp.rbegin(), tmp.rend());
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
            body = Concat({body, Bytes{static_cast<uint8_t>(w.adler >> 24), static_cast<uint8_t>(w.adler >> 16),
                                       static_cast<uint8_t>(w.adler >> 8), static_cast<uint8_t>(w.adler)}});
        body = Concat({body, w.data, w.inst, w.addr});
        out = Concat({out, Varint(w.deltaLength.value_or(body.size())), body});
    }
    return out;
}

uint32_t Adler32Of(const Bytes& bytes) {
    return static_cast<uint32_t>(adler32(adler32(0, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

} // namespace oru::vcdiff::test
