#include "support/TestArchive.h"

#include "archive/PkwareCrypto.h"
#include "platform/Streams.h"

#include <zlib.h>

#include <stdexcept>

namespace oru::test {

namespace {

void Put(Bytes& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Put(Bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

// The reader's cipher, used in its encrypting direction.
class Cipher : public TPkwareCryptoStream {
  public:
    using TPkwareCryptoStream::TPkwareCryptoStream;
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }
};

} // namespace

Bytes EncryptMember(const Bytes& payload, const std::string& password, uint32_t crc) {
    TMemoryStream none;
    int64_t header = 0;
    Cipher cipher(none, password, crc, header);
    Bytes out = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB,
                 static_cast<uint8_t>(crc >> 24)};
    out.insert(out.end(), payload.begin(), payload.end());
    cipher.Crypt(out.data(), static_cast<int32_t>(out.size()), true);
    return out;
}

Bytes PatternBytes(size_t size, uint32_t seed) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (uint8_t& c : b) {
        x = x * 1103515245u + 12345u;
        c = static_cast<uint8_t>('a' + ((x >> 16) % 7)); // a small alphabet: compressible
    }
    return b;
}

Bytes RawDeflate(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 6) != Z_OK)
        throw std::runtime_error("compress2");
    // Without zlib's wrapper: its 2-byte header and the Adler-32 at the end.
    return Bytes(out.begin() + 2, out.begin() + static_cast<ptrdiff_t>(size) - 4);
}

uint32_t ReferenceCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes TestArchive::Build() const {
    Bytes out = Prefix, central;
    const size_t centralCount = Members.size() - (OmitLastCentral && !Members.empty() ? 1 : 0);
    for (size_t i = 0; i < Members.size(); ++i) {
        const TestMember& m = Members[i];
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = m.Crc.value_or(ReferenceCrc(m.Data));
        Bytes body = m.Deflate ? RawDeflate(m.Data) : m.Data;
        if (!m.Password.empty())
            body = EncryptMember(body, m.Password, crc);
        const uint64_t csize = m.CompressedSize.value_or(body.size());
        const uint64_t usize = m.UncompressedSize.value_or(m.Data.size());
        std::string extra = m.LocalExtra;
        if (m.Zip64) {
            Bytes block;
            Put(block, 1, 2);
            Put(block, 16, 2);
            Put(block, usize, 8);
            Put(block, csize, 8);
            extra.insert(0, ToString(block));
        }
        // From "version needed" to the name length: alike in both headers but for
        // the time, the CRC and the sizes a test may make them differ in.
        auto fields = [&](Bytes& to, uint32_t time, uint32_t crcField, bool zip64,
                          const std::string& name) {
            Put(to, 20, 2);
            Put(to, m.Flags | (m.Password.empty() ? 0 : 1), 2);
            Put(to, m.Method != 0xFFFF ? m.Method : (m.Deflate ? 8 : 0), 2);
            Put(to, time, 4);
            Put(to, crcField, 4);
            Put(to, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(csize), 4);
            Put(to, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(usize), 4);
            Put(to, name.size(), 2);
        };
        Put(out, 0x04034B50, 4);
        fields(out, m.DosTime, crc, m.Zip64, m.Name);
        Put(out, extra.size(), 2);
        Put(out, m.Name);
        Put(out, extra);
        out.insert(out.end(), body.begin(), body.end());
        if (i >= centralCount)
            continue;
        const std::string name = m.CentralName.value_or(m.Name);
        Put(central, 0x02014B50, 4);
        Put(central, 20, 2);
        fields(central, m.CentralDosTime.value_or(m.DosTime), m.CentralCrc.value_or(crc), false,
               name);
        Put(central, m.CentralExtra.size(), 2);
        Put(central, m.Comment.size(), 2);
        Put(central, 0, 4); // disk, internal attributes
        Put(central, m.ExternalAttributes, 4);
        Put(central, offset, 4);
        Put(central, name);
        Put(central, m.CentralExtra);
        Put(central, m.Comment);
    }
    const uint32_t cdStart = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    Put(out, 0x06054B50, 4);
    Put(out, DiskNumber.value_or(0), 2);
    Put(out, CentralDisk.value_or(0), 2);
    Put(out, EntriesOnDisk.value_or(static_cast<uint16_t>(centralCount)), 2);
    Put(out, TotalEntries.value_or(static_cast<uint16_t>(centralCount)), 2);
    Put(out, CentralSize.value_or(static_cast<uint32_t>(central.size())), 4);
    Put(out, cdStart, 4);
    Put(out, CommentLength.value_or(static_cast<uint16_t>(Comment.size())), 2);
    Put(out, Comment);
    out.insert(out.end(), Suffix.begin(), Suffix.end());
    return out;
}

std::string ZipOf(const std::vector<std::pair<std::string, std::string>>& members) {
    TestArchive archive;
    for (const auto& [name, content] : members) {
        TestMember& m = archive.Members.emplace_back();
        m.Name = name;
        m.Data = ToBytes(content);
    }
    return ToString(archive.Build());
}

} // namespace oru::test
