// The abstract byte stream that files, archive members and (de)compressors share,
// and an in-memory stream for tests and the package tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oru {

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Returns the number of bytes actually read or written (may be short).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

    virtual int64_t GetSize();
    virtual void SetSize(int64_t size);
    // Makes what was written durable; nothing to do for a stream with no disk below it.
    virtual void Flush() {}
    int64_t GetPosition() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Begin); }

    // Exact-size forms: a short transfer raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    // Copies count bytes (0 = everything from the current position); returns bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;
    const std::vector<uint8_t>& Data() const { return data_; }
    std::vector<uint8_t>& Data() { return data_; }

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

} // namespace oru
