// SHA-256 digests: CNG on Windows, our own rounds elsewhere (Sha256Posix.cpp);
// this class only hides which one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace oru::patch {

using TSha256Digest = std::array<uint8_t, 32>;

class TSha256 {
  public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Update(const void* data, size_t size);
    // Ends this digest and starts a fresh one, so the object can be reused.
    TSha256Digest Final();

    static TSha256Digest Of(const void* data, size_t size);

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

std::string DigestToHex(const TSha256Digest& digest);

} // namespace oru::patch
