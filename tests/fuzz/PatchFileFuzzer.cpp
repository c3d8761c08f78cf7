// Feeds the patch directory parser, the payload inflater and the difference delta's
// applier with arbitrary bytes. The checksum would stop almost every input at the
// door, so the harness wraps the input in a valid header and trailer and seals it:
// the first four bytes choose where the payload area ends and the directory begins.
// An input whose first byte is 0xDD instead becomes the raw streams of a difference
// delta (control, run and changed streams of u16 lengths, the rest as extra), deflated
// under a consistent header, so that mutations reach the records rather than stopping
// in the inflater. Reader exceptions are the expected way out; anything else is a finding.
#include "engine/PatchReader.h"
#include "tests/engine/HandMadeBytes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

using namespace oru::patch;

namespace {

void Apply(oru::TStream& patch, uint64_t offset, uint64_t size, uint64_t raw, uint64_t newSize) {
    static const std::vector<uint8_t> old = [] {
        std::vector<uint8_t> b(80 * 1024); // more than one transform block
        uint32_t x = 99;
        for (auto& c : b) {
            x = x * 1103515245u + 12345u;
            c = (x >> 20) % 3 == 0 ? 0xE8 : static_cast<uint8_t>(x >> 16);
        }
        return b;
    }();
    oru::TMemoryStream source(old);
    TCountingSink out;
    try {
        ApplyBsDelta(source, patch, offset, size, raw, newSize, out);
        if (out.Count() != newSize)
            __builtin_trap(); // a delta that applies makes exactly the declared size
    } catch (const oru::Exception&) {
    }
}

void HandMadeStreams(const uint8_t* data, size_t size) {
    if (size < 10)
        return;
    // The copied length is the input's, so that sizes agree and records are reached.
    const uint64_t copied = data[8] | data[9] << 8;
    std::array<std::vector<uint8_t>, kBsStreams> streams;
    uint64_t raw = 0;
    for (size_t i = 0, at = 10; i < kBsStreams; ++i) {
        const size_t n = i + 1 < kBsStreams
                             ? std::min<size_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8, size - at)
                             : size - at;
        streams[i].assign(data + at, data + at + n);
        raw += n;
        at += n;
    }
    const std::vector<uint8_t> payload = oru::test::BsPayload(data[1] & 1, copied, streams);
    oru::TMemoryStream patch(payload);
    Apply(patch, 0, payload.size(), raw, copied + streams[3].size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xDD) {
        HandMadeStreams(data, size);
        return 0;
    }
    if (size < 4)
        return 0;
    uint32_t split = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    data += 4;
    size -= 4;
    split = size ? split % (size + 1) : 0;

    oru::TMemoryStream file(
        oru::test::SealedPatchFile(data, split, std::vector<uint8_t>(data + split, data + size)));
    try {
        for (const TPatchEntry& e : ReadPatchFile(file).Entries) {
            if (e.Method == TPatchMethod::None || e.PayloadRawSize > (1u << 20) ||
                e.NewSize > (1u << 20))
                continue;
            if (e.Method == TPatchMethod::BsDelta) {
                Apply(file, e.PayloadOffset, e.PayloadSize, e.PayloadRawSize, e.NewSize);
                continue;
            }
            try {
                file.SetPosition(static_cast<int64_t>(e.PayloadOffset));
                TInflateReader in(file, e.PayloadSize, e.PayloadRawSize);
                in.Finish();
            } catch (const oru::Exception&) {
            }
        }
    } catch (const oru::Exception&) {
    }
    return 0;
}
