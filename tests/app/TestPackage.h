// Test helpers: a scratch folder that cleans up after itself, small files, and a
// ZIP archive with stored members written byte by byte (independent of the
// program's own reader).
#pragma once

#include <zlib.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace oru::test {

class TScratchFolder {
  public:
    explicit TScratchFolder(const std::string& tag) {
        static std::atomic<int> counter{0};
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 1000; ++attempt) {
            auto candidate = base / ("oru-" + tag + "-" + std::to_string(Unique()) + "-" +
                                     std::to_string(counter++));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no scratch folder");
    }
    ~TScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    // The folder with a trailing separator, as the program's folders are written.
    std::string Dir() const {
        return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
    }
    std::string Sub(const std::string& name) const {
        std::filesystem::create_directories(path_ / name);
        return (path_ / name).string() +
               static_cast<char>(std::filesystem::path::preferred_separator);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    static unsigned Unique() {
        static const unsigned seed = std::random_device{}();
        return seed;
    }
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& fileName, const std::string& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + fileName);
}

inline bool Exists(const std::string& fileName) {
    return std::filesystem::exists(fileName);
}

// A ZIP archive whose members are stored (method 0) with correct CRCs.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out, central;
    auto u16 = [](std::string& s, uint16_t v) {
        s += char(v & 0xFF);
        s += char(v >> 8);
    };
    auto u32 = [&](std::string& s, uint32_t v) {
        u16(s, uint16_t(v & 0xFFFF));
        u16(s, uint16_t(v >> 16));
    };
    for (const auto& [name, data] : members) {
        const uint32_t crc =
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()));
        const uint32_t offset = uint32_t(out.size());
        u32(out, 0x04034b50);
        u16(out, 10);
        u16(out, 0);
        u16(out, 0); // version, flags, method
        u16(out, 0);
        u16(out, 0x21); // time, date (1980-01-01)
        u32(out, crc);
        u32(out, uint32_t(data.size()));
        u32(out, uint32_t(data.size()));
        u16(out, uint16_t(name.size()));
        u16(out, 0);
        out += name;
        out += data;

        u32(central, 0x02014b50);
        u16(central, 20);
        u16(central, 10);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0x21);
        u32(central, crc);
        u32(central, uint32_t(data.size()));
        u32(central, uint32_t(data.size()));
        u16(central, uint16_t(name.size()));
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u32(central, 0);
        u32(central, offset);
        central += name;
    }
    const uint32_t centralOffset = uint32_t(out.size());
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, uint16_t(members.size()));
    u16(out, uint16_t(members.size()));
    u32(out, uint32_t(central.size()));
    u32(out, centralOffset);
    u16(out, 0);
    return out;
}

} // namespace oru::test
