// Engine inputs assembled field by field, so that tests and fuzzers can set any
// field to anything: a difference delta's payload from its raw streams, and a patch
// file sealed around any directory. Header-only, because the fuzzers link no test
// support.
#pragma once

#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/PatchBytes.h"

#include <array>
#include <cstdint>
#include <vector>

namespace oru::test {

inline std::vector<uint8_t> Deflated(const void* data, size_t size) {
    oru::TMemoryStream m;
    oru::patch::TDeflateWriter w(m);
    if (size)
        w.WriteBuffer(data, static_cast<int32_t>(size));
    w.Finish();
    return m.Data();
}

// The header carries transform and copied as given, and each stream's true sizes.
inline std::vector<uint8_t>
BsPayload(uint8_t transform, uint64_t copied,
          const std::array<std::vector<uint8_t>, oru::patch::kBsStreams>& streams) {
    oru::patch::TByteWriter p, packed;
    p.U8(transform);
    p.U8(0);
    p.U16(0);
    p.U64(copied);
    for (const auto& s : streams) {
        const std::vector<uint8_t> d = Deflated(s.data(), s.size());
        packed.Raw(d.data(), d.size());
        p.U64(d.size());
        p.U64(s.size());
    }
    p.Raw(packed.Bytes().data(), packed.Bytes().size());
    return p.Bytes();
}

// Header, payload area, directory, then a trailer that places the directory (unless
// skewed) and a checksum that fits.
inline std::vector<uint8_t> SealedPatchFile(const uint8_t* payload, size_t payloadSize,
                                            const std::vector<uint8_t>& directory,
                                            uint16_t version = oru::patch::kFormatVersion,
                                            int64_t offsetSkew = 0, int64_t sizeSkew = 0) {
    using namespace oru::patch;
    TByteWriter f;
    f.Raw(kHeaderMagic, sizeof kHeaderMagic);
    f.U16(version);
    f.U16(0);
    f.U32(0);
    f.Raw(payload, payloadSize);
    f.Raw(directory.data(), directory.size());
    f.Raw(kTrailerMagic, sizeof kTrailerMagic);
    f.U64(kHeaderSize + payloadSize + offsetSkew);
    f.U64(directory.size() + sizeSkew);
    const TSha256Digest sum = TSha256::Of(f.Bytes().data(), f.Bytes().size());
    f.Raw(sum.data(), sum.size());
    return f.Bytes();
}

} // namespace oru::test
