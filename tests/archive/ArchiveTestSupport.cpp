#include "ArchiveTestSupport.h"

#include "archive/PkwareCrypto.h"
#include "platform/Streams.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace oru::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        path_ = fs::temp_directory_path() / ("oru-archive-" + std::to_string(stamp % 100000000) +
                                             "-" + std::to_string(counter.fetch_add(1)));
        if (fs::create_directory(path_))
            break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Extracted files may carry the read-only attribute.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::Dir() const {
    std::string s = path_.string();
    s += static_cast<char>(fs::path::preferred_separator);
    return s;
}

std::string TempDir::File(const std::string& name) const {
    return Dir() + name;
}

void WriteFile(const std::string& path, const Bytes& data) {
    std::ofstream f(fs::path(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(fs::path(path), std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

std::string FixtureDir() {
    return ORU_ARCHIVE_FIXTURES;
}
std::string CorporaDir() {
    return ORU_CORPORA_DIR;
}

} // namespace oru::test
