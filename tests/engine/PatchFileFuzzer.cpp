// Feeds the patch directory parser and the payload inflater with arbitrary bytes.
// The checksum would stop almost every input at the door, so the harness wraps the
// input in a valid header and trailer and seals it: the first four bytes choose
// where the payload area ends and the directory begins. Reader exceptions are the
// expected way out; anything else is a finding.
#include "engine/DeflateStreams.h"
#include "engine/PatchBytes.h"
#include "engine/PatchReader.h"

#include <cstddef>
#include <cstdint>

using namespace oru::patch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
