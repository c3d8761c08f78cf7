#include "archive/PkwareCrypto.h"

#include "archive/Crc32.h"
#include "platform/SysUtils.h"

namespace oru {

TPkwareCryptoStream::TPkwareCryptoStream(TStream& stream, std::string password, uint32_t,
                                         int64_t& headerCount)
    : keys_{0x12345678u, 0x23456789u, 0x34567890u}, password_(std::move(password)),
      stream_(stream) {
    for (char c : password_)
        UpdateKeys(static_cast<uint8_t>(c));
    headerCount = 0;
}

void TPkwareCryptoStream::UpdateKeys(uint8_t c) {
    keys_[0] = Crc32UpdateByte(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = Crc32UpdateByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t TPkwareCryptoStream::KeyStreamByte() const {
    uint32_t t = (keys_[2] & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void TPkwareCryptoStream::Crypt(void* buffer, int32_t count, bool encrypting) {
    if (password_.empty() || count <= 0)
        return;
    auto* p = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t k = KeyStreamByte();
        if (encrypting) {
            UpdateKeys(p[i]);
            p[i] ^= k;
        } else {
            p[i] ^= k;
            UpdateKeys(p[i]);
        }
    }
}

TPkwareDecryptionStream::TPkwareDecryptionStream(TStream& stream, std::string password,
                                                 uint32_t checkValue, int64_t& headerCount)
    : TPkwareCryptoStream(stream, std::move(password), checkValue, headerCount) {
    if (Password().empty())
        return;
    std::array<uint8_t, PkwareEncryptionHeaderSize> header{};
    int32_t n = Read(header.data(), PkwareEncryptionHeaderSize);
    headerCount = n;
    // The check byte is the header's last; without it there is nothing to check.
    if (n != PkwareEncryptionHeaderSize)
        throw EReadError();
    if (header[PkwareEncryptionHeaderSize - 1] != static_cast<uint8_t>(checkValue >> 24))
        throw Exception("Incorrect password");
}

int32_t TPkwareDecryptionStream::Read(void* buffer, int32_t count) {
    int32_t n = Source().Read(buffer, count);
    if (n > 0)
        Crypt(buffer, n, false);
    return n;
}

int32_t TPkwareDecryptionStream::Write(const void*, int32_t) {
    return 0;
}

int64_t TPkwareDecryptionStream::Seek(int64_t, SeekOrigin) {
    return 0;
}

} // namespace oru
