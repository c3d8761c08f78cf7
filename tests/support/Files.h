// Whole-file helpers for tests: paths are taken as the product writes them, with
// "\\" separators, and turned into this system's form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace oru::test {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& s);
std::string ToString(const Bytes& b);

// Backslashes become the native separator where that is "/".
std::string NativePath(std::string path);

// Writes the whole file, creating its folders; throws when it cannot.
void WriteWholeFile(const std::string& path, const std::string& content);
void WriteWholeFile(const std::string& path, const Bytes& content);
// Reads the whole file; throws when it cannot, so a missing file is never "".
std::string ReadWholeFile(const std::string& path);
Bytes ReadWholeBytes(const std::string& path);
bool FileExists(const std::string& path);

// Everything below root, relative and sorted, with "/" separators; folders too.
std::vector<std::string> ListTree(const std::filesystem::path& root);
// Every file below root with its content, keyed as ListTree names them.
std::map<std::string, std::string> SnapshotTree(const std::filesystem::path& root);

} // namespace oru::test
