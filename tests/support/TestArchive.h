// The one bendable ZIP writer of the tests: every field of every header can be
// set to what a damaged or hostile archive would hold.
#pragma once

#include "support/Files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oru::test {

// Compressible bytes that are not all alike.
Bytes PatternBytes(size_t size, uint32_t seed = 1);
Bytes RawDeflate(const Bytes& data);
uint32_t ReferenceCrc(const Bytes& data); // zlib's crc32, final value

// 2021-03-04 05:06:08 in MS-DOS form (date high, time low).
constexpr uint32_t DefaultDosTime =
    (((2021u - 1980u) << 25) | (3u << 21) | (4u << 16)) | ((5u << 11) | (6u << 5) | 4u);

struct TestMember {
    std::string Name;
    Bytes Data;
    bool Deflate = false;
    uint16_t Method = 0xFFFF; // default: 0 or 8 from Deflate
    uint16_t Flags = 0;       // bit 0 is added when Password is set
    uint32_t DosTime = DefaultDosTime;
    std::string LocalExtra;
    std::string CentralExtra;
    std::string Comment;
    uint32_t ExternalAttributes = 0x20;
    std::string Password; // traditional encryption with a fixed header
    // Sizes in a ZIP64 block at the front of the local extra field (0xFFFFFFFF in
    // the header fields).
    bool Zip64 = false;
    // Overrides of what the local header would say.
    std::optional<uint32_t> Crc;
    std::optional<uint64_t> CompressedSize;
    std::optional<uint64_t> UncompressedSize;
    // Overrides of the central record.
    std::optional<std::string> CentralName;
    std::optional<uint32_t> CentralDosTime;
    std::optional<uint32_t> CentralCrc;
};

struct TestArchive {
    std::vector<TestMember> Members;
    std::string Comment;
    Bytes Prefix; // before the first local header
    Bytes Suffix; // after the comment
    std::optional<uint16_t> DiskNumber, CentralDisk, EntriesOnDisk, TotalEntries;
    std::optional<uint32_t> CentralSize;
    std::optional<uint16_t> CommentLength;
    bool OmitLastCentral = false;
    Bytes Build() const;
};

// A plain archive of stored members, each a name and its content, as file bytes.
std::string ZipOf(const std::vector<std::pair<std::string, std::string>>& members);

// Traditional PKWARE encryption of payload behind a fixed 12-byte header whose
// last byte is the CRC's top byte, as a member with that CRC carries it.
Bytes EncryptMember(const Bytes& payload, const std::string& password, uint32_t crc);

} // namespace oru::test
