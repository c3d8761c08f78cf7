#include "archive/CompressionUtils.h"

#include "archive/Crc32.h"

#include <algorithm>
#include <cinttypes>
#include <limits>

namespace oru {

namespace {

constexpr int64_t NoLimit = std::numeric_limits<int64_t>::max();

int64_t InputLimit(const TOruCompressionInfo& info) {
    return info.CompressedSize != 0 ? info.CompressedSize - info.BytesIn : NoLimit;
}

void CheckOutputLimit(const TOruCompressionInfo& info, int64_t more) {
    if (info.OutputLimit >= 0 && more > info.OutputLimit - info.BytesOut)
        throw EDataSizeError(info.OutputLimit);
}

// A destination that takes fewer bytes than offered would leave a file shorter
// than its CRC says, and the CRC is computed over what was produced.
int32_t WriteAll(TStream& dest, const void* buffer, int32_t count) {
    int32_t n = dest.Write(buffer, count);
    if (n != count)
        throw EWriteError();
    return n;
}

void ResetRun(TOruCompressionInfo& info, int64_t headerBytes) {
    info.Compressing = false;
    info.BytesOut = 0;
    info.Crc = 0xFFFFFFFFu;
    info.BytesIn = headerBytes;
}

void UncompressDeflated(TOruCompressionInfo& info, TStream& source, uint8_t* buf) {
    TZlibDecompressionStream inflater(source);
    for (;;) {
        int64_t consumed = 0;
        int32_t n = inflater.LimitedRead(buf, UncompressBufferSize, consumed, InputLimit(info));
        info.BytesIn += consumed;
        if (n <= 0)
            break;
        CheckOutputLimit(info, n);
        info.Crc = Crc32Update(info.Crc, buf, static_cast<size_t>(n));
        info.BytesOut += WriteAll(*info.Dest, buf, n);
        if (info.OnProgress)
            info.OnProgress(info);
    }
}

void CopyStored(TOruCompressionInfo& info, TStream& source, uint8_t* buf) {
    for (;;) {
        int64_t limit = info.Compressing ? info.Size : info.CompressedSize;
        int32_t want = UncompressBufferSize;
        if (limit != 0 && want > limit - info.BytesIn)
            want = static_cast<int32_t>(std::max<int64_t>(0, limit - info.BytesIn));
        int32_t n = want > 0 ? source.Read(buf, want) : 0;
        if (n <= 0)
            break;
        info.BytesIn += n;
        if (info.OnProgress)
            info.OnProgress(info);
        CheckOutputLimit(info, n);
        info.BytesOut += WriteAll(*info.Dest, buf, n);
        info.Crc = Crc32Update(info.Crc, buf, static_cast<size_t>(n));
        if (info.OnProgress)
            info.OnProgress(info);
    }
}

} // namespace

EDataSizeError::EDataSizeError(int64_t limit)
    : Exception(Format("The data exceed their declared size of %" PRId64 " bytes", limit)) {}

int64_t Uncompress(TOruCompressionInfo& info) {
    int64_t header = 0;
    TPkwareDecryptionStream decryption(*info.Source, info.Options.Password, info.Crc, header);
    ResetRun(info, header);
    uint8_t buf[UncompressBufferSize];
    if (info.Options.Stored)
        CopyStored(info, decryption, buf);
    else
        UncompressDeflated(info, decryption, buf);
    info.CompressedSize = info.BytesIn;
    info.Size = info.BytesOut;
    info.Crc ^= 0xFFFFFFFFu;
    return info.Size;
}

TOruUncompressionStream::TOruUncompressionStream(const TOruCompressionInfo& info,
                                                 std::shared_ptr<TStream> keepAlive)
    : keepAlive_(std::move(keepAlive)), info_(info) {
    if (info_.Options.Stored)
        throw Exception("The compression method is not supported");
    int64_t header = 0;
    decryption_ = std::make_unique<TPkwareDecryptionStream>(*info_.Source, info_.Options.Password,
                                                            info_.Crc, header);
    inflate_ = std::make_unique<TZlibDecompressionStream>(*decryption_);
    ResetRun(info_, header);
}

TOruUncompressionStream::~TOruUncompressionStream() {
    inflate_.reset();
    decryption_.reset();
}

int32_t TOruUncompressionStream::Read(void* buffer, int32_t count) {
    int64_t consumed = 0;
    int32_t n = inflate_->LimitedRead(buffer, count, consumed, InputLimit(info_));
    info_.BytesIn += consumed;
    if (n > 0) {
        CheckOutputLimit(info_, n);
        info_.Crc = Crc32Update(info_.Crc, buffer, static_cast<size_t>(n));
        info_.BytesOut += n;
    }
    return n;
}

int32_t TOruUncompressionStream::Write(const void*, int32_t) {
    return 0;
}

int64_t TOruUncompressionStream::Seek(int64_t, SeekOrigin) {
    return -1;
}

} // namespace oru
