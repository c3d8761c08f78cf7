#include "support/TestArchive.h"

#include "archive/PkwareCrypto.h"
#include "platform/Streams.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace oru::test {

namespace {

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(Bytes& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
void PutText(Bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

// The cipher alone, for making encrypted test data.
class Cipher : public TPkwareCryptoStream {
  public:
    using TPkwareCryptoStream::TPkwareCryptoStream;
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t, SeekOrigin) override { return 0; }
};

// The cipher's encrypting direction over a fixed header whose last byte is the
// CRC's top byte.
} // namespace

Bytes EncryptMember(const Bytes& payload, const std::string& password, uint32_t crc) {
    TMemoryStream none;
    int64_t header = 0;
    Cipher cipher(none, password, crc, header);
    const uint8_t prefix[12] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                                0x77, 0x88, 0x99, 0xAA, 0xBB, static_cast<uint8_t>(crc >> 24)};
    Bytes out(12 + payload.size());
    std::copy(prefix, prefix + 12, out.begin());
    std::copy(payload.begin(), payload.end(), out.begin() + 12);
    cipher.Crypt(out.data(), static_cast<int32_t>(out.size()), true);
    return out;
}

Bytes PatternBytes(size_t size, uint32_t seed) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        // Mostly letters from a small alphabet: compressible, not trivial.
        b[i] = static_cast<uint8_t>('a' + ((x >> 16) % 7));
    }
    return b;
}

Bytes RawDeflate(const Bytes& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

uint32_t ReferenceCrc(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes TestArchive::Build() const {
    Bytes out = Prefix;
    struct Central {
        uint32_t offset, crc, csize, usize;
        uint16_t flags, method;
    };
    std::vector<Central> centrals;
    for (const TestMember& m : Members) {
        uint16_t method = m.Method != 0xFFFF ? m.Method : (m.Deflate ? 8 : 0);
        uint32_t crc = m.Crc.value_or(ReferenceCrc(m.Data));
        Bytes body = m.Deflate ? RawDeflate(m.Data) : m.Data;
        uint16_t flags = m.Flags;
        if (!m.Password.empty()) {
            body = EncryptMember(body, m.Password, crc);
            flags |= 1;
        }
        uint64_t csize = m.CompressedSize.value_or(body.size());
        uint64_t usize = m.UncompressedSize.value_or(m.Data.size());
        std::string extra = m.LocalExtra;
        if (m.Zip64) {
            Bytes block;
            Put16(block, 1);
            Put16(block, 16);
            Put64(block, usize);
            Put64(block, csize);
            extra = std::string(block.begin(), block.end()) + extra;
        }
        centrals.push_back({static_cast<uint32_t>(out.size()), crc, static_cast<uint32_t>(csize),
                            static_cast<uint32_t>(usize), flags, method});
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, flags);
        Put16(out, method);
        Put32(out, m.DosTime);
        Put32(out, crc);
        Put32(out, m.Zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(csize));
        Put32(out, m.Zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(usize));
        Put16(out, static_cast<uint32_t>(m.Name.size()));
        Put16(out, static_cast<uint32_t>(extra.size()));
        PutText(out, m.Name);
        PutText(out, extra);
        out.insert(out.end(), body.begin(), body.end());
    }
    uint32_t cdStart = static_cast<uint32_t>(out.size());
    size_t centralCount = Members.size() - (OmitLastCentral && !Members.empty() ? 1 : 0);
    for (size_t i = 0; i < centralCount; ++i) {
        const TestMember& m = Members[i];
        const Central& c = centrals[i];
        std::string name = m.CentralName.value_or(m.Name);
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, c.flags);
        Put16(out, c.method);
        Put32(out, m.CentralDosTime.value_or(m.DosTime));
        Put32(out, m.CentralCrc.value_or(c.crc));
        Put32(out, c.csize);
        Put32(out, c.usize);
        Put16(out, static_cast<uint32_t>(name.size()));
        Put16(out, static_cast<uint32_t>(m.CentralExtra.size()));
        Put16(out, static_cast<uint32_t>(m.Comment.size()));
        Put16(out, 0);
        Put16(out, m.InternalAttributes);
        Put32(out, m.ExternalAttributes);
        Put32(out, c.offset);
        PutText(out, name);
        PutText(out, m.CentralExtra);
        PutText(out, m.Comment);
    }
    uint32_t cdSize = static_cast<uint32_t>(out.size()) - cdStart;
    Put32(out, 0x06054B50);
    Put16(out, DiskNumber.value_or(0));
    Put16(out, CentralDisk.value_or(0));
    Put16(out, EntriesOnDisk.value_or(static_cast<uint16_t>(centralCount)));
    Put16(out, TotalEntries.value_or(static_cast<uint16_t>(centralCount)));
    Put32(out, CentralSize.value_or(cdSize));
    Put32(out, cdStart);
    Put16(out, CommentLength.value_or(static_cast<uint16_t>(Comment.size())));
    PutText(out, Comment);
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
