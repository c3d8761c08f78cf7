#include "orupack/ZipWriter.h"

#include <zlib.h>

#include <fstream>
#include <limits>
#include <stdexcept>

namespace oru::pack {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutText(std::vector<uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data) {
    z_stream z{};
    // Negative window bits: raw deflate, as ZIP members carry it.
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib could not start compressing");
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("zlib could not compress a member");
    return out;
}

constexpr uint16_t kVersion = 20; // 2.0: deflate
constexpr uint16_t kMadeBy = 20;  // MS-DOS attributes, version 2.0

} // namespace

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980 || year > 2107)
        throw std::runtime_error("a ZIP time must lie between 1980 and 2107");
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

uint32_t Crc32(const std::vector<uint8_t>& data) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
}

void ZipWriter::Add(ZipMember member) { members_.push_back(std::move(member)); }

std::vector<uint8_t> ZipWriter::Build() const {
    constexpr size_t kLimit = std::numeric_limits<uint32_t>::max();
    std::vector<uint8_t> out;
    std::vector<uint8_t> central;
    for (const ZipMember& m : members_) {
        if (m.Name.size() > 0xFFFF || m.Extra.size() > 0xFFFF)
            throw std::runtime_error("member name or extra text too long: " + m.Name);
        if (m.Data.size() >= kLimit || out.size() >= kLimit)
            throw std::runtime_error("member too large for a ZIP archive without ZIP64: " + m.Name);
        bool stored = m.Data.empty();
        std::vector<uint8_t> packed = stored ? std::vector<uint8_t>{} : Deflate(m.Data);
        uint32_t crc = Crc32(m.Data);
        uint32_t offset = static_cast<uint32_t>(out.size());
        uint16_t method = stored ? 0 : 8;
        // Local header, then name, extra and data.
        Put32(out, 0x04034B50);
        Put16(out, kVersion);
        Put16(out, 0); // flags: nothing our reader would refuse
        Put16(out, method);
        Put32(out, m.DosDateTime);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(packed.size()));
        Put32(out, static_cast<uint32_t>(m.Data.size()));
        Put16(out, static_cast<uint32_t>(m.Name.size()));
        Put16(out, static_cast<uint32_t>(m.Extra.size()));
        PutText(out, m.Name);
        PutText(out, m.Extra);
        out.insert(out.end(), packed.begin(), packed.end());
        // Its central record.
        Put32(central, 0x02014B50);
        Put16(central, kMadeBy);
        Put16(central, kVersion);
        Put16(central, 0);
        Put16(central, method);
        Put32(central, m.DosDateTime);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(packed.size()));
        Put32(central, static_cast<uint32_t>(m.Data.size()));
        Put16(central, static_cast<uint32_t>(m.Name.size()));
        // The directive lives in the local extra field only: other tools read the
        // central one as tagged blocks, which a plain text is not.
        Put16(central, 0);
        Put16(central, 0); // comment length
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, m.ExternalAttributes);
        Put32(central, offset);
        PutText(central, m.Name);
    }
    if (members_.size() > 0xFFFF || out.size() >= kLimit)
        throw std::runtime_error("too many members or too much data for a ZIP archive without ZIP64");
    uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(members_.size()));
    Put16(out, static_cast<uint32_t>(members_.size()));
    Put32(out, static_cast<uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0); // no archive comment
    return out;
}

void ZipWriter::WriteFile(const std::string& path) const {
    std::vector<uint8_t> bytes = Build();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

} // namespace oru::pack
