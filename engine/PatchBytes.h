// Little-endian encoding of the patch file's fields, and a bounded reader over a
// byte buffer that refuses to run past its end.
#pragma once

#include "engine/PatchFormat.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace oru::patch {

class TByteWriter {
  public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) { Le(v, 2); }
    void U32(uint32_t v) { Le(v, 4); }
    void U64(uint64_t v) { Le(v, 8); }
    void Raw(const void* data, size_t size) {
        auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void Str(const std::string& s) {
        if (s.size() > kMaxNameLength)
            throw EPatchFormatError("A name is too long for a patch file: " + s.substr(0, 64));
        U16(static_cast<uint16_t>(s.size()));
        Raw(s.data(), s.size());
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    void Le(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

class TByteReader {
  public:
    TByteReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    uint8_t U8() { return static_cast<uint8_t>(Le(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
    uint64_t U64() { return Le(8); }
    void Raw(void* out, size_t size) {
        Need(size);
        std::memcpy(out, p_, size);
        p_ += size;
    }
    std::string Str() {
        uint16_t len = U16();
        if (len > kMaxNameLength)
            throw EPatchFormatError("The patch directory holds a name that is too long");
        Need(len);
        std::string s(reinterpret_cast<const char*>(p_), len);
        p_ += len;
        return s;
    }
    size_t Left() const { return static_cast<size_t>(end_ - p_); }

  private:
    void Need(size_t n) {
        if (Left() < n)
            throw EPatchFormatError("The patch directory ends too early");
    }
    uint64_t Le(int n) {
        Need(static_cast<size_t>(n));
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(p_[i]) << (8 * i);
        p_ += n;
        return v;
    }
    const uint8_t* p_;
    const uint8_t* end_;
};

} // namespace oru::patch
