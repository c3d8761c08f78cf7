#include "archive/OruZlib.h"

#include "platform/FileUtilsX.h"

#include <algorithm>

namespace oru {

EZlibError EZlibError::FromResult(int32_t code, const char* detail) {
    return EZlibError(BuildErrorMessage("zlib error", detail ? detail : "", code, "%d"), code);
}

TZlibStream::TZlibStream(TStream& source) : source_(source) {
    zs_.next_in = input_.data();
    zs_.avail_in = 0;
}

int32_t TZlibStream::Write(const void*, int32_t) {
    return 0;
}

int64_t TZlibStream::Seek(int64_t, SeekOrigin) {
    return 0;
}

TZlibDecompressionStream::TZlibDecompressionStream(TStream& source) : TZlibStream(source) {
    int rc = inflateInit2(&zs_, -MAX_WBITS);
    if (rc < 0)
        throw EZlibError::FromResult(rc, zs_.msg);
}

TZlibDecompressionStream::~TZlibDecompressionStream() {
    inflateEnd(&zs_);
}

int32_t TZlibDecompressionStream::Read(void* buffer, int32_t count) {
    int64_t consumed = 0;
    return LimitedRead(buffer, count, consumed, 2147483647);
}

int32_t TZlibDecompressionStream::LimitedRead(void* buffer, int32_t count, int64_t& consumed,
                                              int64_t inputLimit) {
    consumed = 0;
    if (count <= 0)
        return 0;
    zs_.next_out = static_cast<Bytef*>(buffer);
    zs_.avail_out = static_cast<uInt>(count);
    for (;;) {
        if (zs_.avail_in == 0 && inputLimit > 0) {
            int32_t want = static_cast<int32_t>(std::min<int64_t>(inputLimit, InputBufferSize));
            int32_t n = source_.Read(input_.data(), want);
            if (n < 0)
                n = 0;
            zs_.next_in = input_.data();
            zs_.avail_in = static_cast<uInt>(n);
            consumed += n;
            inputLimit -= n;
        }
        int rc = inflate(&zs_, Z_NO_FLUSH);
        if (rc != Z_BUF_ERROR && rc < 0)
            throw EZlibError::FromResult(rc, zs_.msg);
        if (zs_.avail_out == 0 || rc == Z_STREAM_END || rc == Z_BUF_ERROR)
            break;
    }
    return count - static_cast<int32_t>(zs_.avail_out);
}

} // namespace oru
