// Test support for the archive reader: a byte-level ZIP builder whose every field
// can be bent, temporary folders, whole-file helpers and the fixture locations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace oru::test {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& s);
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
    uint16_t InternalAttributes = 0;
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

// A unique folder below the system's temporary folder, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // The folder as the reader's callers write it: with a trailing delimiter.
    std::string Dir() const;
    std::string File(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

// A path as the reader writes it ("\\" separators) in the form this system's file
// streams take.
std::string NativePath(std::string path);
void WriteFile(const std::string& path, const Bytes& data);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Names of everything below a folder, relative, sorted, with "/" separators.
std::vector<std::string> ListTree(const std::filesystem::path& root);

// Where the build put the fixtures written by independent writers, and the public
// corpora; both with a trailing delimiter.
std::string FixtureDir();
std::string CorporaDir();

} // namespace oru::test
