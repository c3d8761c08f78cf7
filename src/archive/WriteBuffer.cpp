#include "archive/WriteBuffer.h"

#include <cstring>

namespace oru {

TWriteBufferStream::TWriteBufferStream(TStream& target, std::vector<uint8_t>& buffer)
    : target_(target), buffer_(buffer) {}

int32_t TWriteBufferStream::Write(const void* buffer, int32_t count) {
    if (count <= 0)
        return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    size_t n = static_cast<size_t>(count);
    if (used_ + n > buffer_.size())
        Flush();
    if (n >= buffer_.size()) {
        target_.WriteBuffer(p, count);
    } else {
        std::memcpy(buffer_.data() + used_, p, n);
        used_ += n;
    }
    written_ += count;
    return count;
}

int32_t TWriteBufferStream::Read(void*, int32_t) {
    return 0;
}

int64_t TWriteBufferStream::Seek(int64_t, SeekOrigin) {
    return written_;
}

void TWriteBufferStream::Flush() {
    if (used_ == 0)
        return;
    size_t n = used_;
    used_ = 0;
    target_.WriteBuffer(buffer_.data(), static_cast<int32_t>(n));
}

} // namespace oru
