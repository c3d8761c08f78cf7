// A fresh folder per test case under the system's temporary folder, removed at
// the end; paths come back in the platform's own form with a trailing delimiter.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace oru::test {

class TTempFolder {
  public:
    explicit TTempFolder(const std::string& tag) {
        static int serial = 0;
        auto base = std::filesystem::temp_directory_path();
        path_ = base / ("oru-install-" + tag + "-" + std::to_string(std::random_device{}()) + "-" +
                        std::to_string(++serial));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // With a trailing delimiter, as every folder value of the program carries one.
    std::string Folder() const { return (path_ / "").string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    std::string Write(const std::string& name, const std::string& content) const {
        auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    std::string MakeFolder(const std::string& name) const {
        std::filesystem::create_directories(path_ / name);
        return (path_ / name / "").string();
    }

  private:
    std::filesystem::path path_;
};

} // namespace oru::test
