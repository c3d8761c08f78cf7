#include "ArchiveFixtures.h"

#include <fstream>
#include <stdexcept>

namespace oru::test {

void WriteArchive(const std::string& path, const std::vector<TArchiveMember>& members) {
    pack::ZipWriter writer;
    for (const TArchiveMember& m : members) {
        pack::ZipMember member;
        member.Name = m.Name;
        member.Extra = m.Extra;
        member.Data.assign(m.Data.begin(), m.Data.end());
        member.DosDateTime = pack::DosDateTime(2010, 12, 1, 10, 30, 0);
        writer.Add(std::move(member));
    }
    std::vector<uint8_t> bytes = writer.Build();
    // Spoil the local headers' CRC fields (offset 14) of the chosen members.
    size_t offset = 0;
    for (const TArchiveMember& m : members) {
        auto u32 = [&](size_t at) {
            return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                   uint32_t(bytes[at + 3]) << 24;
        };
        if (m.SpoilCrc)
            bytes[offset + 14] ^= 0xFF;
        uint32_t packed = u32(offset + 18);
        uint32_t nameLength = bytes[offset + 26] | bytes[offset + 27] << 8;
        uint32_t extraLength = bytes[offset + 28] | bytes[offset + 29] << 8;
        offset += 30 + nameLength + extraLength + packed;
    }
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

} // namespace oru::test
