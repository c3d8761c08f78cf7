// Archives the reader's own tests did not write. Those of Python's zipfile, 7-Zip
// and Info-ZIP, made at build time: each member must come out byte-identical to the
// file it was made from, or be refused with the reader's own message. And public
// collections of malformed and unusual archives: none may crash the reader, hang
// it, leak or make it write outside its destination; those that break its rules are
// refused as invalid, and members that Python's zipfile can read must come out with
// the same size where the CRC-32 agrees.
#include "archive/PkwareZip.h"

#include "ArchiveTestSupport.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace oru {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::string Fixture(const std::string& name) {
    return test::FixtureDir() + name;
}

Bytes Payload(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return test::ReadWholeBytes(test::FixtureDir() + "payload/" + name);
}

// 7-Zip's encrypted members are also tried without and with a wrong password. The
// check byte is one byte: a wrong password gets past it once in 256 tries and then
// fails on the data.
TEST(IndependentWriters, EveryMemberThroughACallersStream) {
    for (const char* archive : {"python-mixed.zip", "infozip-plain.zip", "infozip-stored.zip",
                                "7z-crypto-deflate.zip", "7z-crypto-stored.zip"}) {
        SCOPED_TRACE(archive);
        TPkwareZip zip;
        zip.SetFileName(Fixture(archive));
        int compared = 0, refusedByCheckByte = 0;
        for (int32_t i = 0; i < zip.Count(); ++i) {
            TPkwareZipItem& item = zip.Items()[i];
            if (item.Name().back() == '/' || item.Name().back() == '\\')
                continue;
            TMemoryStream out, rejected;
            TPkwareZipExtractInfo info;
            if (item.Encrypted()) {
                EXPECT_EQ(test::MessageOf<EPkwareZipError>([&] { item.Extract(&rejected, &info); }),
                          "It is password protected, but no password was specified");
                info.Password = "wrong password";
                if (item.UncompressedSize() > 0) {
                    const std::string m = test::MessageOf<Exception>([&] { item.Extract(&rejected, &info); });
                    refusedByCheckByte += m == "Incorrect password";
                    EXPECT_TRUE(m == "Incorrect password" || m == "CRC check failed for '" + item.Name() + "'" ||
                                m.rfind("Cannot extract '" + item.Name() + "'.\r", 0) == 0)
                        << m;
                }
                info.Password = "Secret123";
            }
            item.Extract(&out, &info);
            EXPECT_EQ(out.Data(), Payload(item.Name())) << item.Name();
            ++compared;
        }
        EXPECT_EQ(compared, 6);
        EXPECT_EQ(refusedByCheckByte > 0, std::string(archive).rfind("7z", 0) == 0);
    }
    TPkwareZip zip;
    zip.SetFileName(Fixture("infozip-crypt.zip")); // encrypts with a data descriptor
    EXPECT_EQ(test::MessageOf<EPkwareZipError>([&] { zip.Open(); }),
              "'infozip-crypt.zip' is not a valid ZIP archive");
}

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

struct PythonRead {
    int64_t Size;
    uint32_t Crc;
};

// "libzip/test.zip" -> member index -> what Python read.
std::map<std::string, std::map<int32_t, PythonRead>> PythonManifest() {
    std::map<std::string, std::map<int32_t, PythonRead>> manifest;
    std::ifstream f(fs::path(test::FixtureDir() + "corpus.txt"));
    std::string line, archive, crc;
    int32_t index;
    int64_t size;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        if (std::getline(in, archive, '\t') && in >> index >> size >> crc)
            manifest[archive][index] = {size, static_cast<uint32_t>(std::stoul(crc, nullptr, 16))};
    }
    return manifest;
}

TEST(Corpus, EveryArchiveIsReadOrRefusedCleanly) {
    std::vector<std::string> archives;
    for (const char* sub : {"libzip", "minizip-ng"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(fs::path(test::CorporaDir()) / sub, ec))
            if (e.path().extension() == ".zip")
                archives.push_back(std::string(sub) + "/" + e.path().filename().string());
    }
    ASSERT_GE(archives.size(), 160u) << "corpora missing at " << test::CorporaDir();
    const auto manifest = PythonManifest();
    ASSERT_FALSE(manifest.empty());
    std::set<std::string> accepted;
    int compared = 0;

    for (const std::string& rel : archives) {
        SCOPED_TRACE(rel);
        const std::string path = test::CorporaDir() + rel;
        TPkwareZip zip;
        zip.SetFileName(path);
        int32_t count;
        try {
            count = zip.Count();
        } catch (const EPkwareZipError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + rel.substr(rel.find('/') + 1) + "' is not a valid ZIP archive");
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
            // Where the two readers take sizes from different headers they may
            // disagree; where the CRC agrees the data must too.
            if (a->second.at(i).Crc == item.Crc32()) {
                EXPECT_EQ(sink.Size, a->second.at(i).Size) << item.Name();
                ++compared;
            }
        }
        if (hasDrive)
            continue;

        // A whole run into a folder of its own inside a fresh root: after it, the
        // root holds that folder and nothing else.
        test::TScratch root;
        const std::string dest = root.MakeFolder("dest");
        std::vector<std::string> files;
        try {
            ExtractZipFile(path, files, dest);
        } catch (const Exception&) {
            for (const std::string& f : files)
                EXPECT_FALSE(test::FileExists(f)) << "left behind after a failure: " << f;
        }
        for (const std::string& f : files)
            EXPECT_EQ(f.rfind(dest, 0), 0u) << f;
        for (const auto& e : fs::directory_iterator(root.Root()))
            EXPECT_EQ(e.path().filename(), "dest");
    }

    // Real archives the rules must not refuse; which ones break them is shown on
    // the reader's own archives.
    for (const char* good :
         {"libzip/test.zip", "libzip/testdeflated.zip", "libzip/incons-central-crc.zip",
          "minizip-ng/storeonly.zip"})
        EXPECT_TRUE(accepted.count(good)) << good;
    EXPECT_GT(compared, 100);
}

} // namespace
} // namespace oru
