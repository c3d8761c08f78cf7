// The traditional ZIP cipher: three 32-bit keys driven by CRC-32 updates, and a
// 12-byte encryption header in front of each member's data whose last byte checks
// the password. Every extraction reads through TPkwareDecryptionStream; with an
// empty password it passes bytes through untouched, so plain and encrypted members
// share one path.
#pragma once

#include "platform/Streams.h"

#include <array>
#include <cstdint>
#include <string>

namespace oru {

constexpr int32_t PkwareEncryptionHeaderSize = 12;

class TPkwareCryptoStream : public TStream {
  public:
    // headerCount receives the number of encryption-header bytes consumed (0 here;
    // the decrypting subclass reads the header). The check value is not used here.
    TPkwareCryptoStream(TStream& stream, std::string password, uint32_t checkValue,
                        int64_t& headerCount);

    // Transforms count bytes in place. Decrypting feeds the key schedule with the
    // plain byte after the XOR; encrypting feeds it before. Nothing happens with an
    // empty password.
    void Crypt(void* buffer, int32_t count, bool encrypting);

  protected:
    TStream& Source() { return stream_; }
    const std::string& Password() const { return password_; }

  private:
    void UpdateKeys(uint8_t c);
    uint8_t KeyStreamByte() const;

    std::array<uint32_t, 3> keys_;
    std::string password_;
    TStream& stream_;
};

// A forward-only read stream over the encrypted bytes of one member.
class TPkwareDecryptionStream : public TPkwareCryptoStream {
  public:
    // With a password, reads and decrypts the 12-byte header and compares its last
    // byte with the top byte of checkValue (the member's CRC-32); a mismatch raises
    // Exception("Incorrect password"). A header cut short raises EReadError.
    TPkwareDecryptionStream(TStream& stream, std::string password, uint32_t checkValue,
                            int64_t& headerCount);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override; // always 0
    int64_t Seek(int64_t offset, SeekOrigin origin) override;  // always 0
};

} // namespace oru
