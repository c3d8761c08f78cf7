#include "support/Files.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace oru::test {

namespace fs = std::filesystem;

Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string ToString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::string NativePath(std::string path) {
    if (fs::path::preferred_separator == '/')
        std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    const fs::path p(NativePath(path));
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteWholeFile(const std::string& path, const Bytes& content) {
    WriteWholeFile(path, ToString(content));
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(fs::path(NativePath(path)), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ReadWholeBytes(const std::string& path) {
    return ToBytes(ReadWholeFile(path));
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(NativePath(path)), ec);
}

std::vector<std::string> ListTree(const fs::path& root) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec))
        names.push_back(fs::relative(it->path(), root).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> SnapshotTree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& name : ListTree(root))
        if (fs::is_regular_file(root / name))
            files[name] = ReadWholeFile((root / name).string());
    return files;
}

} // namespace oru::test
