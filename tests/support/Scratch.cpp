#include "support/Scratch.h"

#include "support/Files.h"

#include <atomic>
#include <random>

namespace oru::test {

namespace fs = std::filesystem;

TScratch::TScratch(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    static const unsigned run = std::random_device{}();
    const fs::path base = fs::temp_directory_path();
    do
        root_ = base / ("oru-" + tag + "-" + std::to_string(run) + "-" +
                        std::to_string(counter.fetch_add(1)));
    while (!fs::create_directory(root_));
    dir_ = root_.string() + static_cast<char>(fs::path::preferred_separator);
}

TScratch::~TScratch() {
    std::error_code ec;
    // Extracted or patched files may carry the read-only attribute.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
}

std::string TScratch::File(const std::string& relative) const {
    return dir_ + NativePath(relative);
}

std::string TScratch::Write(const std::string& relative, const std::string& content) const {
    const std::string path = File(relative);
    WriteWholeFile(path, content);
    return path;
}

std::string TScratch::Read(const std::string& relative) const {
    return ReadWholeFile(File(relative));
}

bool TScratch::Exists(const std::string& relative) const {
    return FileExists(File(relative));
}

std::string TScratch::MakeFolder(const std::string& relative) const {
    fs::path p(File(relative));
    fs::create_directories(p);
    std::string s = p.string();
    if (s.back() != static_cast<char>(fs::path::preferred_separator))
        s += static_cast<char>(fs::path::preferred_separator);
    return s;
}

void TScratch::Copy(const std::string& from, const std::string& to) const {
    fs::copy(File(from), File(to), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::map<std::string, std::string> TScratch::Snapshot(const std::string& relative) const {
    return SnapshotTree(relative.empty() ? root_ : fs::path(File(relative)));
}

} // namespace oru::test
