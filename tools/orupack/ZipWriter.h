// A small ZIP writer for the package tool: members are deflated with zlib (or
// stored when empty), each with its own local extra text, written strictly in the
// form our reader accepts: no data descriptors, nothing before the first local
// header, the central directory right after the last member, no archive comment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oru::pack {

struct ZipMember {
    std::string Name;  // stored byte for byte
    std::string Extra; // local extra field data (the central one stays empty)
    std::vector<uint8_t> Data;
    uint32_t DosDateTime = 0;         // date in the high 16 bits, time in the low 16
    uint32_t ExternalAttributes = 0x20; // the archive bit, as Windows tools write it
};

// MS-DOS date and time of a calendar moment (years 1980 to 2107).
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

class ZipWriter {
public:
    void Add(ZipMember member);
    // The whole archive; raises std::runtime_error when a member is too large for
    // the plain (non-ZIP64) format or zlib fails.
    std::vector<uint8_t> Build() const;
    void WriteFile(const std::string& path) const;

private:
    std::vector<ZipMember> members_;
};

uint32_t Crc32(const std::vector<uint8_t>& data);

} // namespace oru::pack
