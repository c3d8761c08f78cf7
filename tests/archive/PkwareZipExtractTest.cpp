#include "archive/CompressionUtils.h"
#include "archive/OruZlib.h"
#include "archive/PkwareZip.h"
#include "platform/FileUtilsX.h"

#include "ArchiveTestSupport.h"
#include "platform/Files.h"
#include "support/MessageOf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

namespace oru {
namespace {

using test::Bytes;
using test::TestArchive;
using test::TestMember;
using ::testing::StartsWith;

// 1995-07-14 10:20:30, a time that no freshly written file carries.
constexpr uint32_t OldDosTime =
    ((15u << 25) | (7u << 21) | (14u << 16)) | ((10u << 11) | (20u << 5) | 15u);

class PkwareZipExtract : public ::testing::Test {
  protected:
    // Every archive gets a name of its own: assigning the same name again would keep
    // the previous directory.
    TPkwareZipItem& OpenMember(TestArchive a, int index = 0) {
        std::string path = dir_.File("pkg" + std::to_string(++archives_) + ".zip");
        test::WriteWholeFile(path, a.Build());
        zip_.SetFileName(path);
        return zip_.Items()[index];
    }
    TPkwareZipItem& OpenOne(TestMember m) {
        TestArchive a;
        a.Members.push_back(std::move(m));
        return OpenMember(std::move(a));
    }
    TPkwareZipExtractInfo Into(const std::string& folder) {
        TPkwareZipExtractInfo info;
        info.DestDir = folder;
        return info;
    }
    // Everything the extraction left in the output folder.
    std::vector<std::string> Output() { return test::ListTree(out_.Root()); }

    test::TScratch dir_;
    test::TScratch out_;
    TPkwareZip zip_;
    int archives_ = 0;
};

struct StampRow {
    const char* name;
    Bytes data;
    uint32_t dosTime;
    TPkwareZipExtractOptions options;
    bool existing;   // a target is there before
    bool stamped;    // the member's time and read-only attribute are applied
};

// Time and attributes, for a new target and for one replaced on the normal update
// path: applied unless kept by option, never for an empty member.
TEST_F(PkwareZipExtract, TheMembersTimeAndAttributesUnlessKeptOrEmpty) {
    const StampRow rows[] = {
        {"new target", test::PatternBytes(100000), OldDosTime, 0, false, true},
        {"replaced target", test::PatternBytes(3000, 5), OldDosTime, 0, true, true},
        {"kept by option", test::ToBytes("keep"), OldDosTime, eoKeepFileTime | eoKeepAttributes,
         false, false},
        {"empty member", {}, OldDosTime, 0, true, false},
    };
    TDateTime old = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(OldDosTime, old));
    for (const StampRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string target = out_.File(std::string(row.name) + ".bin");
        if (row.existing)
            test::WriteWholeFile(target, test::ToBytes("previous content, longer than some"));
        TPkwareZipItem& item = OpenOne({.Name = std::string(row.name) + ".bin",
                                        .Data = row.data,
                                        .Deflate = row.data.size() > 10000,
                                        .DosTime = row.dosTime,
                                        .ExternalAttributes = 0x21});
        TPkwareZipExtractInfo info = Into(out_.Dir());
        info.Options = row.options;
        EXPECT_EQ(item.Extract(&info), nullptr);
        EXPECT_EQ(test::ReadWholeBytes(target), row.data);
        if (row.stamped) {
            EXPECT_NEAR(FileUtils().FileModified(target), old, 2.0 / 86400);
            EXPECT_NE(FileGetAttr(target) & faReadOnly, 0);
        } else {
            EXPECT_GT(FileUtils().FileModified(target), old + 365);
            EXPECT_EQ(FileGetAttr(target) & faReadOnly, 0);
        }
        FileSetAttr(target, 0);
    }
    EXPECT_EQ(Output().size(), std::size(rows)); // no temporary left beside them
}

TEST_F(PkwareZipExtract, InvalidDosTimeStampsTheZeroDate) {
#ifndef _WIN32
    GTEST_SKIP() << "file times before 1970 cannot be set here";
#endif
    // Month 0 is no date.
    TPkwareZipItem& item =
        OpenOne({.Name = "z.txt", .Data = test::ToBytes("z"), .DosTime = (20u << 25) | (1u << 16)});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    item.Extract(&info);
    // File systems that cannot go back to 1899 keep their earliest time (1901 for
    // 32-bit Unix times); either way far from today.
    EXPECT_LT(FileUtils().FileModified(out_.File("z.txt")), 1000.0);
}

// The last step, moving the checked file over its target, can fail: the target
// stays as it was, the message names it, and the temporary is gone.
TEST_F(PkwareZipExtract, AFailingFinalMoveKeepsTheTargetAndLeavesNoTemporary) {
    TPkwareZipItem& item = OpenOne({.Name = "t.dat", .Data = test::ToBytes("new")});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    const std::string target = out_.File("t.dat");
    // The message names the target (natively with the "\\" the reader puts after
    // the folder).
    const std::string prefix = "Cannot open the file '" + out_.Dir();
    const auto cannot = ::testing::AllOf(StartsWith(prefix), ::testing::HasSubstr("t.dat'"));
    // A folder in the way refuses the move everywhere.
    std::filesystem::create_directories(out_.Root() / "t.dat" / "inside");
    EXPECT_THAT(test::MessageOf<EFileOpenError>([&] { item.Extract(&info); }), cannot);
    EXPECT_EQ(Output(), (std::vector<std::string>{"t.dat", "t.dat/inside"}));
#ifdef _WIN32
    // A target another program holds without sharing.
    std::filesystem::remove_all(out_.Root() / "t.dat");
    test::WriteWholeFile(target, test::ToBytes("old"));
    {
        TFile held(target, fmOpenRead | fmShareExclusive);
        EXPECT_THAT(test::MessageOf<EFileOpenError>([&] { item.Extract(&info); }),
                    cannot);
    }
    EXPECT_EQ(test::ReadWholeBytes(target), test::ToBytes("old"));
    EXPECT_EQ(Output(), std::vector<std::string>{"t.dat"});
#endif
}

TEST_F(PkwareZipExtract, ReplacesAnExistingTargetOnlyWithACheckedFile) {
    std::string target = out_.File("t.dat");
    Bytes old = test::PatternBytes(50000, 77);
    Bytes fresh = test::ToBytes("short new content");

    test::WriteWholeFile(target, old);
    TPkwareZipItem& good = OpenOne({.Name = "t.dat", .Data = fresh});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    good.Extract(&info);
    // Shorter than the old file: nothing of the old bytes may remain behind it.
    EXPECT_EQ(test::ReadWholeBytes(target), fresh);
    EXPECT_EQ(Output(), std::vector<std::string>{"t.dat"});

    test::WriteWholeFile(target, old);
    TPkwareZipItem& badCrc = OpenOne({.Name = "t.dat", .Data = fresh, .Crc = 0x01020304});
    EXPECT_EQ(test::MessageOf<EPkwareZipError>([&] { badCrc.Extract(&info); }),
              "CRC check failed for 't.dat'");
    EXPECT_EQ(test::ReadWholeBytes(target), old);
    EXPECT_EQ(Output(), std::vector<std::string>{"t.dat"});
}

TEST_F(PkwareZipExtract, ZlibErrorsNameTheMemberAndLeaveNothingBehind) {
    TPkwareZipItem& item = OpenOne({.Name = "broken.bin",
                                    .Data = Bytes{0xFF, 0xFF, 0xFF, 0xFF},
                                    .Method = 8,
                                    .UncompressedSize = 100});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    try {
        item.Extract(&info);
        FAIL() << "no exception";
    } catch (const EZlibError& e) {
        EXPECT_EQ(e.Message(),
                  "Cannot extract 'broken.bin'.\rzlib error.\r\ninvalid block type (-3)");
        EXPECT_EQ(e.ErrorCode, -3);
    }
    EXPECT_TRUE(Output().empty());
}

TEST_F(PkwareZipExtract, MemberInflatingBeyondItsDeclaredSizeIsStopped) {
    Bytes zeros(20000000, 0);
    TPkwareZipItem& item = OpenOne(
        {.Name = "bomb.bin", .Data = zeros, .Deflate = true, .Crc = 0, .UncompressedSize = 4096});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    EXPECT_EQ(test::MessageOf<EPkwareZipError>([&] { item.Extract(&info); }),
              "Cannot extract 'bomb.bin'.\rThe data exceed their declared size of 4096 bytes");
    EXPECT_TRUE(Output().empty());

    info.Options = eoOpenStream;
    std::unique_ptr<TStream> stream = item.Extract(&info);
    ASSERT_NE(stream, nullptr);
    Bytes buf(65536);
    EXPECT_THROW(
        {
            while (stream->Read(buf.data(), 65536) > 0) {
            }
        },
        EDataSizeError);
}

TEST_F(PkwareZipExtract, CreateNewRefusesAnExistingTarget) {
    std::string target = out_.File("n.txt");
    test::WriteWholeFile(target, test::ToBytes("old"));
    TPkwareZipItem& item = OpenOne({.Name = "n.txt", .Data = test::ToBytes("new")});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    info.Options = eoCreateNew;
    EXPECT_EQ(test::MessageOf<EFileOpenError>([&] { item.Extract(&info); })
                  .rfind("Cannot create the file '", 0),
              0u);
    EXPECT_EQ(test::ReadWholeBytes(target), test::ToBytes("old"));

    std::filesystem::remove(target);
    item.Extract(&info);
    EXPECT_EQ(test::ReadWholeBytes(target), test::ToBytes("new"));
}

TEST_F(PkwareZipExtract, TargetFromFileNameDestDirOrTheNameItself) {
    TPkwareZipItem& item = OpenOne({.Name = "named.txt", .Data = test::ToBytes("abc")});
    TPkwareZipExtractInfo info;
    info.DestDir = out_.Root().string(); // no trailing delimiter: one is added
    item.Extract(&info);
    EXPECT_EQ(test::ReadWholeBytes(out_.File("named.txt")), test::ToBytes("abc"));

    info.FileName = out_.File("elsewhere.txt");
    item.Extract(&info);
    EXPECT_EQ(test::ReadWholeBytes(out_.File("elsewhere.txt")), test::ToBytes("abc"));
}

TEST_F(PkwareZipExtract, NameWithADriveIsWrittenToThatPath) {
    // On Windows the name is absolute; elsewhere "C:" is a folder below the
    // current one, so the test works from a folder of its own.
    std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Root());
#ifdef _WIN32
    std::string name = "C:\\oru-drive-" +
                       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                       ".txt";
    std::string written = name;
#else
    std::filesystem::create_directory(dir_.Root() / "C:");
    std::string name = "C:\\drive.txt";
    std::string written = (dir_.Root() / "C:" / "drive.txt").string();
#endif
    TPkwareZipItem& item = OpenOne({.Name = name, .Data = test::ToBytes("drive")});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    item.Extract(&info);
    std::filesystem::current_path(saved);
    EXPECT_EQ(test::ReadWholeBytes(written), test::ToBytes("drive"));
    EXPECT_TRUE(Output().empty());
    std::filesystem::remove(written);
}

TEST_F(PkwareZipExtract, CallerStreamGetsTheDataAndNoFileIsMade) {
    Bytes data = test::PatternBytes(40000);
    TPkwareZipItem& item = OpenOne({.Name = "s.bin", .Data = data, .Deflate = true});
    TPkwareZipExtractInfo info = Into(out_.Dir());
    TMemoryStream sink;
    EXPECT_EQ(item.Extract(&sink, &info), nullptr);
    EXPECT_EQ(sink.Data(), data);
    EXPECT_TRUE(Output().empty());

    TPkwareZipItem& bad = OpenOne({.Name = "s.bin", .Data = data, .Crc = 7});
    TMemoryStream sink2;
    EXPECT_THROW(bad.Extract(&sink2, &info), EPkwareZipError);
}

TEST_F(PkwareZipExtract, OpenStreamYieldsDeflatedDataAndRefusesStored) {
    Bytes data = test::PatternBytes(30000);
    TestArchive a;
    a.Members.push_back({.Name = "d.bin", .Data = data, .Deflate = true});
    a.Members.push_back({.Name = "s.bin", .Data = data});
    TPkwareZipItem& deflated = OpenMember(a, 0);
    TPkwareZipExtractInfo info = Into(out_.Dir());
    info.Options = eoOpenStream;
    std::unique_ptr<TStream> stream = deflated.Extract(&info);
    ASSERT_NE(stream, nullptr);
    // The stream keeps the archive file even when the archive closes.
    zip_.Close();
    Bytes out(data.size() + 10);
    int32_t total = 0, n;
    while ((n = stream->Read(out.data() + total, 4000)) > 0)
        total += n;
    out.resize(static_cast<size_t>(total));
    EXPECT_EQ(out, data);
    stream.reset();

    try {
        zip_.Items()[1].Extract(&info);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "The compression method is not supported");
        EXPECT_EQ(dynamic_cast<const EPkwareZipError*>(&e), nullptr);
    }
    EXPECT_TRUE(Output().empty());
}

TEST_F(PkwareZipExtract, MethodAndPasswordChecks) {
    TestArchive a;
    Bytes data = test::PatternBytes(5000);
    a.Members.push_back({.Name = "m12", .Data = data, .Method = 12});
    a.Members.push_back({.Name = "enc", .Data = data, .Deflate = true, .Password = "pw1"});
    OpenMember(a);
    TMemoryStream sink;
    TPkwareZipExtractInfo info;
    auto message = [&](int index) {
        return test::MessageOf<Exception>([&] { zip_.Items()[index].Extract(&sink, &info); });
    };
    EXPECT_EQ(message(0), "The compression method is not supported");
    EXPECT_EQ(message(1), "It is password protected, but no password was specified");
    // "pw2" does not pass this member's check byte.
    info.Password = "pw2";
    EXPECT_EQ(message(1), "Incorrect password");
    EXPECT_TRUE(sink.Data().empty());
    // The archive's password serves when the record has none; the record's wins.
    zip_.Password = "pw1";
    info.Password.clear();
    zip_.Items()[1].Extract(&sink, &info);
    EXPECT_EQ(sink.Data(), data);
    info.Password = "pw2";
    TMemoryStream again;
    EXPECT_THROW(zip_.Items()[1].Extract(&again, &info), Exception);
}

TEST_F(PkwareZipExtract, ProgressRestartsForEveryMember) {
    TestArchive a;
    a.Members.push_back({.Name = "a", .Data = test::PatternBytes(60000), .Deflate = true});
    a.Members.push_back({.Name = "b", .Data = test::PatternBytes(30000)});
    OpenMember(a);
    std::vector<std::pair<int64_t, int64_t>> seen;
    zip_.OnProgress = [&](TPkwareZip& sender, int64_t position, int64_t total) {
        EXPECT_EQ(&sender, &zip_);
        seen.emplace_back(position, total);
    };
    TPkwareZipExtractInfo info = Into(out_.Dir());
    zip_.Items()[0].Extract(&info);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(int64_t{60000}, int64_t{60000}));
    seen.clear();
    zip_.Items()[1].Extract(&info);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().second, 30000);
    EXPECT_LE(seen.front().first, UncompressBufferSize);
    EXPECT_EQ(seen.back(), std::make_pair(int64_t{30000}, int64_t{30000}));
}

} // namespace
} // namespace oru
