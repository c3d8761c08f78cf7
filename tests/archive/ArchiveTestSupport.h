// Test support for the archive reader: a byte-level ZIP builder whose every field
// can be bent, temporary folders, whole-file helpers and the fixture locations.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/TestArchive.h"

namespace oru::test {

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

void WriteFile(const std::string& path, const Bytes& data);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Where the build put the fixtures written by independent writers, and the public
// corpora; both with a trailing delimiter.
std::string FixtureDir();
std::string CorporaDir();

} // namespace oru::test
