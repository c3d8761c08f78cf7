// Raw deflate streams over zlib.
#include "engine/DeflateStreams.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace oru::patch {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

struct TDeflateWriter::TState {
    z_stream s{};
};

TDeflateWriter::TDeflateWriter(TStream& sink, int level)
    : z_(std::make_unique<TState>()), sink_(sink), buffer_(kBufferSize) {
    if (deflateInit2(&z_->s, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EDeflateError("Cannot start compressing");
}

TDeflateWriter::~TDeflateWriter() {
    deflateEnd(&z_->s);
}

int32_t TDeflateWriter::Write(const void* buffer, int32_t count) {
    if (finished_)
        throw EDeflateError("Writing after the end of the compressed data");
    z_->s.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    z_->s.avail_in = static_cast<uInt>(count);
    Pump(Z_NO_FLUSH);
    in_ += static_cast<uint64_t>(count);
    return count;
}

void TDeflateWriter::Pump(int flush) {
    for (;;) {
        z_->s.next_out = buffer_.data();
        z_->s.avail_out = static_cast<uInt>(buffer_.size());
        int rc = deflate(&z_->s, flush);
        if (rc == Z_STREAM_ERROR)
            throw EDeflateError("Compression failed");
        size_t have = buffer_.size() - z_->s.avail_out;
        if (have) {
            sink_.WriteBuffer(buffer_.data(), static_cast<int32_t>(have));
            out_ += have;
        }
        if (flush == Z_FINISH ? rc == Z_STREAM_END : (z_->s.avail_in == 0 && z_->s.avail_out != 0))
            return;
    }
}

void TDeflateWriter::Finish() {
    if (finished_)
        return;
    z_->s.next_in = nullptr;
    z_->s.avail_in = 0;
    Pump(Z_FINISH);
    finished_ = true;
}

int32_t TDeflateWriter::Read(void*, int32_t) {
    throw EDeflateError("A compressing stream cannot be read");
}

int64_t TDeflateWriter::Seek(int64_t offset, SeekOrigin origin) {
    if (offset == 0 && origin != SeekOrigin::Begin)
        return static_cast<int64_t>(in_);
    throw EDeflateError("A compressing stream cannot seek");
}

struct TInflateReader::TState {
    z_stream s{};
};

TInflateReader::TInflateReader(TStream& source, uint64_t compressedSize, uint64_t expectedSize)
    : z_(std::make_unique<TState>()), source_(source), buffer_(kBufferSize),
      compressedLeft_(compressedSize), expected_(expectedSize) {
    if (inflateInit2(&z_->s, -15) != Z_OK)
        throw EDeflateError("Cannot start decompressing");
}

TInflateReader::~TInflateReader() {
    inflateEnd(&z_->s);
}

int32_t TInflateReader::Read(void* buffer, int32_t count) {
    auto* out = static_cast<Bytef*>(buffer);
    int32_t done = 0;
    while (done < count && !streamEnd_) {
        if (z_->s.avail_in == 0 && compressedLeft_ > 0) {
            int32_t chunk =
                static_cast<int32_t>(std::min<uint64_t>(buffer_.size(), compressedLeft_));
            source_.ReadBuffer(buffer_.data(), chunk);
            compressedLeft_ -= static_cast<uint64_t>(chunk);
            z_->s.next_in = buffer_.data();
            z_->s.avail_in = static_cast<uInt>(chunk);
        }
        // Once the declared size is reached, a one-byte probe must find the end of
        // the stream and no further output.
        uint64_t allowed = expected_ - produced_;
        uint8_t probe = 0;
        uInt want = allowed == 0 ? 1 : static_cast<uInt>(std::min<uint64_t>(count - done, allowed));
        z_->s.next_out = allowed == 0 ? &probe : out + done;
        z_->s.avail_out = want;
        int rc = inflate(&z_->s, Z_NO_FLUSH);
        uInt got = want - z_->s.avail_out;
        if (allowed == 0 && got != 0)
            throw EDeflateError("The compressed data is longer than declared");
        done += static_cast<int32_t>(got);
        produced_ += got;
        if (rc == Z_STREAM_END) {
            streamEnd_ = true;
            if (produced_ != expected_)
                throw EDeflateError("The compressed data is shorter than declared");
        } else if (rc == Z_BUF_ERROR || (rc == Z_OK && got == 0)) {
            if (z_->s.avail_in == 0 && compressedLeft_ == 0)
                throw EDeflateError("The compressed data ends too early");
        } else if (rc != Z_OK) {
            throw EDeflateError("The compressed data is damaged");
        }
    }
    return done;
}

void TInflateReader::Finish() {
    uint8_t scratch[256];
    while (Read(scratch, sizeof scratch) > 0) {
    }
    if (!streamEnd_)
        throw EDeflateError("The compressed data ends too early");
    if (z_->s.avail_in != 0 || compressedLeft_ != 0)
        throw EDeflateError("The compressed data is followed by stray bytes");
}

int32_t TInflateReader::Write(const void*, int32_t) {
    throw EDeflateError("A decompressing stream cannot be written");
}

int64_t TInflateReader::Seek(int64_t offset, SeekOrigin origin) {
    int64_t pos = static_cast<int64_t>(produced_);
    if ((origin == SeekOrigin::Current && offset == 0) ||
        (origin == SeekOrigin::Begin && offset == pos))
        return pos;
    throw EDeflateError("A decompressing stream cannot seek");
}

} // namespace oru::patch
