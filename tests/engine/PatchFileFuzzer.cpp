// Feeds the patch directory parser, the payload inflater and the difference delta's
// applier with arbitrary bytes. The checksum would stop almost every input at the
// door, so the harness wraps the input in a valid header and trailer and seals it:
// the first four bytes choose where the payload area ends and the directory begins.
// An input whose first byte is 0xDD instead becomes the raw streams of a difference
// delta, deflated and given a consistent header by the harness, so that mutations
// reach the records rather than stopping in the inflater. Reader exceptions are the
// expected way out; anything else is a finding.
#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/PatchBytes.h"
#include "engine/PatchReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace oru::patch;

namespace {

const std::vector<uint8_t>& OldFile() {
    static const std::vector<uint8_t> old = [] {
        std::vector<uint8_t> b(80 * 1024); // more than one transform block
        uint32_t x = 99;
        for (auto& c : b) {
            x = x * 1103515245u + 12345u;
            c = (x >> 20) % 3 == 0 ? 0xE8 : static_cast<uint8_t>(x >> 16);
        }
        return b;
    }();
    return old;
}

void Apply(oru::TStream& patch, uint64_t offset, uint64_t size, uint64_t raw, uint64_t newSize) {
    oru::TMemoryStream old(OldFile());
    TCountingSink out;
    try {
        ApplyBsDelta(old, patch, offset, size, raw, newSize, out);
        if (out.Count() != newSize)
            __builtin_trap(); // a delta that applies makes exactly the declared size
    } catch (const oru::Exception&) {
    }
}

// Layout: 0xDD, transform, then four u16 lengths of the control, run and changed
// streams and the rest as extra.
void HandMadeStreams(const uint8_t* data, size_t size) {
    if (size < 10)
        return;
    const uint8_t transform = data[1] & 1;
    size_t lengths[4], at = 10;
    for (int i = 0; i < 3; ++i)
        lengths[i] = static_cast<size_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
    std::vector<std::vector<uint8_t>> raw(4);
    for (int i = 0; i < 4; ++i) {
        size_t n = i < 3 ? std::min(lengths[i], size - at) : size - at;
        raw[i].assign(data + at, data + at + n);
        at += n;
    }
    // The copied length follows from the runs, so that sizes agree and records are reached.
    uint64_t copied = data[8] | data[9] << 8;
    TByteWriter p;
    p.U8(transform);
    p.U8(0);
    p.U16(0);
    p.U64(copied);
    std::vector<std::vector<uint8_t>> packed(4);
    uint64_t rawSum = 0;
    for (int i = 0; i < 4; ++i) {
        oru::TMemoryStream m;
        TDeflateWriter w(m);
        if (!raw[i].empty())
            w.WriteBuffer(raw[i].data(), static_cast<int32_t>(raw[i].size()));
        w.Finish();
        packed[i] = m.Data();
        p.U64(packed[i].size());
        p.U64(raw[i].size());
        rawSum += raw[i].size();
    }
    for (const auto& s : packed)
        p.Raw(s.data(), s.size());
    oru::TMemoryStream patch(p.Bytes());
    Apply(patch, 0, p.Bytes().size(), rawSum, copied + raw[3].size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xDD) {
        HandMadeStreams(data, size);
        return 0;
    }
    if (size < 4)
        return 0;
    uint32_t split =
        (data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
    data += 4;
    size -= 4;
    split = size ? split % (size + 1) : 0;

    TByteWriter f;
    f.Raw(kHeaderMagic, sizeof kHeaderMagic);
    f.U16(kFormatVersion);
    f.U16(0);
    f.U32(0);
    f.Raw(data, size);
    f.Raw(kTrailerMagic, sizeof kTrailerMagic);
    f.U64(kHeaderSize + split);
    f.U64(size - split);
    TSha256Digest sum = TSha256::Of(f.Bytes().data(), f.Bytes().size());
    f.Raw(sum.data(), sum.size());

    oru::TMemoryStream file(f.Bytes());
    try {
        TPatchDirectory dir = ReadPatchFile(file);
        for (const TPatchEntry& e : dir.Entries) {
            if (e.Method == TPatchMethod::None || e.PayloadRawSize > (1u << 20))
                continue;
            if (e.Method == TPatchMethod::BsDelta) {
                if (e.NewSize <= (1u << 20))
                    Apply(file, e.PayloadOffset, e.PayloadSize, e.PayloadRawSize, e.NewSize);
                continue;
            }
            try {
                file.SetPosition(static_cast<int64_t>(e.PayloadOffset));
                TInflateReader in(file, e.PayloadSize, e.PayloadRawSize);
                uint8_t buffer[4096];
                while (in.Read(buffer, sizeof buffer) > 0) {
                }
                in.Finish();
            } catch (const oru::Exception&) {
            }
        }
    } catch (const oru::Exception&) {
    }
    return 0;
}
