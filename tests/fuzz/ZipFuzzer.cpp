// Opens an archive from the fuzzer's bytes and reads every member both ways (into a
// stream, and through the returned read stream). The reader's own exceptions are
// the expected way out; anything else (a crash, a sanitizer report, an allocation
// the size of a forged header, a hang) is a finding.
#include "archive/PkwareZip.h"
#include "platform/Streams.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

class DiscardStream : public oru::TStream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int64_t Seek(int64_t, oru::SeekOrigin) override { return 0; }
};

// Members may declare any size; the reader bounds what it produces by it, so a
// cap here only keeps single runs short.
constexpr int64_t MaxMemberSize = 64 << 20;

void ReadMember(oru::TPkwareZipItem& item) {
    oru::TPkwareZipExtractInfo info;
    info.Password = "fuzz";
    try {
        DiscardStream sink;
        item.Extract(&sink, &info);
    } catch (const oru::Exception&) {
    }
    info.Options = oru::eoOpenStream;
    try {
        std::unique_ptr<oru::TStream> stream = item.Extract(&info);
        std::vector<uint8_t> buf(16384);
        while (stream && stream->Read(buf.data(), static_cast<int32_t>(buf.size())) > 0) {
        }
    } catch (const oru::Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    oru::TPkwareZip zip;
    zip.SetFileName("fuzz.zip");
    try {
        zip.OpenStream(
            std::make_shared<oru::TMemoryStream>(std::vector<uint8_t>(data, data + size)));
    } catch (const oru::Exception&) {
        return 0;
    }
    for (int32_t i = 0; i < zip.Count(); ++i) {
        oru::TPkwareZipItem& item = zip.Items()[i];
        (void)oru::HasDrivePart(item.Name());
        (void)oru::NameLeavesFolder(item.Name());
        if (item.UncompressedSize() <= MaxMemberSize)
            ReadMember(item);
    }
    return 0;
}
