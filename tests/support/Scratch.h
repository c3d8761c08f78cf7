// One fresh folder per test under the system's temporary folder, removed with
// everything in it (read-only files included) at the end.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace oru::test {

class TScratch {
  public:
    explicit TScratch(const std::string& tag = "test");
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // The folder with its trailing delimiter, as the product writes folders.
    const std::string& Dir() const { return dir_; }
    // A name inside it; "\\" in relative is taken as a separator.
    std::string File(const std::string& relative) const;

    // Whole files inside it; Write creates the folders on the way and returns the path.
    std::string Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Creates the folder and returns it with its trailing delimiter.
    std::string MakeFolder(const std::string& relative) const;
    void Copy(const std::string& from, const std::string& to) const;
    // Every file below relative with its content, keyed by "/"-separated path.
    std::map<std::string, std::string> Snapshot(const std::string& relative = "") const;

  private:
    std::filesystem::path root_;
    std::string dir_;
};

} // namespace oru::test
