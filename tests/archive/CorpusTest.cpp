// Public collections of malformed and unusual archives: none may crash the reader,
// hang it, leak or make it write outside its destination. Those that break its
// rules are refused as invalid; members of accepted archives that Python's zipfile
// can read must come out with the same size and CRC-32.
#include "archive/PkwareZip.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace oru {
namespace {

namespace fs = std::filesystem;

// Takes everything and keeps only its length.
class CountingStream : public TStream {
  public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        Size += count;
        return count;
    }
    int64_t Seek(int64_t, SeekOrigin) override { return Size; }
    int64_t Size = 0;
};

struct Expected {
    int64_t Size;
    uint32_t Crc;
};

// "libzip/test.zip" -> member index -> what Python read.
std::map<std::string, std::map<int32_t, Expected>> PythonManifest() {
    std::map<std::string, std::map<int32_t, Expected>> manifest;
    std::ifstream f(fs::path(test::FixtureDir() + "corpus.txt"));
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        std::string archive;
        int32_t index;
        int64_t size;
        std::string crc;
        if (std::getline(in, archive, '\t') && in >> index >> size >> crc)
            manifest[archive][index] = {size, static_cast<uint32_t>(std::stoul(crc, nullptr, 16))};
    }
    return manifest;
}

std::vector<std::string> CorpusArchives() {
    std::vector<std::string> names;
    fs::path root(test::CorporaDir());
    for (const char* sub : {"libzip", "minizip-ng"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(root / sub, ec))
            if (e.path().extension() == ".zip")
                names.push_back(std::string(sub) + "/" + e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Corpus, EveryArchiveIsReadOrRefusedCleanly) {
    std::vector<std::string> archives = CorpusArchives();
    ASSERT_GE(archives.size(), 160u) << "corpora missing at " << test::CorporaDir();
    auto manifest = PythonManifest();
    ASSERT_FALSE(manifest.empty());
    std::set<std::string> accepted, invalid;
    int compared = 0;

    for (const std::string& rel : archives) {
        SCOPED_TRACE(rel);
        std::string path = test::CorporaDir() + rel;
        std::string base = rel.substr(rel.find('/') + 1);
        TPkwareZip zip;
        zip.SetFileName(path);
        int32_t count;
        try {
            count = zip.Count();
        } catch (const EPkwareZipError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + base + "' is not a valid ZIP archive");
            invalid.insert(rel);
            continue;
        }
        accepted.insert(rel);
        bool hasDrive = false;
        for (int32_t i = 0; i < count; ++i) {
            TPkwareZipItem& item = zip.Items()[i];
            hasDrive = hasDrive || HasDrivePart(item.Name());
            CountingStream sink;
            TPkwareZipExtractInfo info;
            try {
                item.Extract(&sink, &info);
            } catch (const Exception&) {
                continue; // refused with the reader's message; the message tests live elsewhere
            }
            auto a = manifest.find(rel);
            if (a == manifest.end() || !a->second.count(i))
                continue;
            const Expected& want = a->second.at(i);
            // Where the two readers take sizes from different headers they may
            // disagree; where the CRC agrees the data must too.
            if (want.Crc == item.Crc32()) {
                EXPECT_EQ(sink.Size, want.Size) << item.Name();
                ++compared;
            }
        }
        if (hasDrive)
            continue;

        // A whole run into a folder of its own inside a fresh root: after it, the
        // root holds that folder and nothing else.
        test::TScratch root;
        fs::create_directory(root.Root() / "dest");
        std::string dest = (root.Root() / "dest").string() + "\\";
        std::vector<std::string> files;
        try {
            ExtractZipFile(path, files, dest);
        } catch (const Exception&) {
            for (const std::string& f : files)
                EXPECT_FALSE(test::FileExists(f)) << "left behind after a failure: " << f;
        }
        for (const std::string& f : files)
            EXPECT_EQ(f.rfind(dest, 0), 0u) << f;
        std::error_code ec;
        int outside = 0;
        for (const auto& e : fs::directory_iterator(root.Root(), ec))
            outside += e.path().filename() != "dest";
        EXPECT_EQ(outside, 0);
    }

    // A few whose verdict follows plainly from the rules.
    for (const char* good :
         {"libzip/test.zip", "libzip/testdeflated.zip", "libzip/manyfiles-zip.zip",
          "libzip/incons-central-crc.zip", "minizip-ng/storeonly.zip"})
        EXPECT_TRUE(accepted.count(good)) << good;
    for (const char* bad : {"libzip/junk-at-start.zip", "libzip/junk-at-end.zip",
                            "libzip/streamed.zip", "libzip/multidisk.zip",
                            "libzip/incons-central-date.zip", "libzip/incons-file-count-high.zip",
                            "libzip/testfile-truncated.zip", "libzip/encrypt-1234.zip"})
        EXPECT_TRUE(invalid.count(bad)) << bad;
    EXPECT_GT(compared, 100);
}

} // namespace
} // namespace oru
