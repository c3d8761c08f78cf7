// A fresh folder inside the system's temporary folder for one test, removed with
// everything in it afterwards.
#pragma once

#include "platform/FileUtilsX.h"
#include "platform/PathUtilsX.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace oru::test {

class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        static const unsigned run = std::random_device{}();
        root_ = GetTempFolder() + "oru-platform-" + std::to_string(run) + "-" +
                std::to_string(counter++);
        CreateDirectory(root_);
        path_ = IncludeTrailingDelimiter(root_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with its trailing delimiter, and names inside it.
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string root_;
    std::string path_;
};

inline void WriteWholeFile(const std::string& name, const std::string& content) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadWholeFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace oru::test
