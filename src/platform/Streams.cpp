#include "platform/Streams.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>

namespace oru {

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, SeekOrigin::Current);
    int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    std::vector<uint8_t> buf(64 * 1024);
    int64_t done = 0;
    for (;;) {
        int32_t want = static_cast<int32_t>(buf.size());
        if (count > 0)
            want = static_cast<int32_t>(std::min<int64_t>(want, count - done));
        if (want == 0)
            break;
        int32_t n = source.Read(buf.data(), want);
        if (n <= 0) {
            if (count > 0)
                throw EReadError();
            break;
        }
        WriteBuffer(buf.data(), n);
        done += n;
    }
    return done;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || pos_ >= static_cast<int64_t>(data_.size()))
        return 0;
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(data_.size()) - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return static_cast<int32_t>(n);
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0)
        return 0;
    size_t end = static_cast<size_t>(pos_) + static_cast<size_t>(count);
    if (end > data_.size())
        data_.resize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = static_cast<int64_t>(end);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0
                   : origin == SeekOrigin::Current ? pos_
                                                   : static_cast<int64_t>(data_.size());
    int64_t p = base + offset;
    if (p < 0)
        throw EStreamError("Stream seek before start");
    pos_ = p;
    return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(static_cast<size_t>(size));
    if (pos_ > size)
        pos_ = size;
}

} // namespace oru
