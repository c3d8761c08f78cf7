#include "archive/OruZlib.h"
#include "archive/PkwareZip.h"
#include "platform/FileUtilsX.h"

#include "ArchiveTestSupport.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;
using test::TestArchive;
using test::TestMember;

constexpr uint32_t OldDosTime = ((15u << 25) | (7u << 21) | (14u << 16)) | (10u << 11);

class ExtractZipFileTest : public ::testing::Test {
  protected:
    std::string Write(const TestArchive& a) {
        std::string path = dir_.File("pkg.zip");
        test::WriteWholeFile(path, a.Build());
        return path;
    }
    // The destination as the callers pass it: with a trailing "\".
    std::string Dest() const { return out_.Root().string() + "\\"; }
    std::string Target(const std::string& relative) const {
        return (out_.Root() / relative).string();
    }

    test::TScratch dir_;
    test::TScratch out_;
};

TEST_F(ExtractZipFileTest, WritesFoldersAndFilesInArchiveOrder) {
    TestArchive a;
    a.Members.push_back({.Name = "docs/", .Data = {}});
    a.Members.push_back({.Name = "docs/a.txt", .Data = test::ToBytes("alpha")});
    a.Members.push_back(
        {.Name = "Tables\\New.dat", .Data = test::PatternBytes(70000), .Deflate = true});
    a.Members.push_back({.Name = "deep\\er\\", .Data = {}});
    a.Members.push_back(
        {.Name = "empty.txt", .Data = {}, .DosTime = OldDosTime, .ExternalAttributes = 0x21});
    std::string path = Write(a);
    std::vector<std::string> files;
    std::vector<std::pair<int64_t, int64_t>> progress;
    ExtractZipFile(path, files, Dest(), [&](TPkwareZip&, int64_t pos, int64_t total) {
        progress.emplace_back(pos, total);
    });
    EXPECT_EQ(files, (std::vector<std::string>{Dest() + "docs/a.txt", Dest() + "Tables\\New.dat",
                                               Dest() + "empty.txt"}));
    EXPECT_EQ(test::ListTree(out_.Root()),
              (std::vector<std::string>{"Tables", "Tables/New.dat", "deep", "deep/er", "docs",
                                        "docs/a.txt", "empty.txt"}));
    EXPECT_EQ(test::ReadWholeBytes(Target("docs/a.txt")), test::ToBytes("alpha"));
    EXPECT_EQ(test::ReadWholeBytes(Target("Tables/New.dat")), test::PatternBytes(70000));
    // The empty member is created plainly: neither its time nor its attributes.
    EXPECT_TRUE(test::ReadWholeBytes(Target("empty.txt")).empty());
    EXPECT_EQ(FileGetAttr(Target("empty.txt")) & faReadOnly, 0);
    TDateTime old = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(OldDosTime, old));
    EXPECT_GT(FileUtils().FileModified(Target("empty.txt")), old + 365);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(int64_t{70000}, int64_t{70000}));
}

TEST_F(ExtractZipFileTest, ReadOnlyTargetIsReplaced) {
    std::string target = Target("ro.txt");
    test::WriteWholeFile(target, test::ToBytes("old old old"));
    ASSERT_TRUE(FileSetAttr(target, faReadOnly));
    TestArchive a;
    a.Members.push_back({.Name = "ro.txt", .Data = test::ToBytes("new")});
    std::vector<std::string> files;
    ExtractZipFile(Write(a), files, Dest());
    EXPECT_EQ(test::ReadWholeBytes(target), test::ToBytes("new"));
}

TEST_F(ExtractZipFileTest, FailureDeletesEveryWrittenFileAndKeepsTheFailingTarget) {
    TestArchive a;
    a.Members.push_back({.Name = "one.txt", .Data = test::ToBytes("1")});
    a.Members.push_back({.Name = "sub/", .Data = {}});
    a.Members.push_back({.Name = "sub/two.txt", .Data = test::PatternBytes(5000), .Deflate = true});
    a.Members.push_back(
        {.Name = "keep.txt", .Data = Bytes{0xFF, 0xFF, 0xFF}, .Method = 8, .UncompressedSize = 50});
    std::string keep = Target("keep.txt");
    test::WriteWholeFile(keep, test::ToBytes("the old file"));
    std::vector<std::string> files;
    EXPECT_EQ(test::MessageOf<EZlibError>([&] { ExtractZipFile(Write(a), files, Dest()); })
                  .rfind("Cannot extract 'keep.txt'.\rzlib error.\r\n", 0),
              0u);
    EXPECT_EQ(files.size(), 2u);
    EXPECT_FALSE(test::FileExists(Target("one.txt")));
    EXPECT_FALSE(test::FileExists(Target("sub/two.txt")));
    EXPECT_EQ(test::ReadWholeBytes(keep), test::ToBytes("the old file"));
    // Folders stay; no file but the old one.
    EXPECT_EQ(test::ListTree(out_.Root()), (std::vector<std::string>{"keep.txt", "sub"}));
}

TEST_F(ExtractZipFileTest, EscapingNameStopsTheRunAndRollsBack) {
    TestArchive a;
    a.Members.push_back({.Name = "fine.txt", .Data = test::ToBytes("fine")});
    a.Members.push_back({.Name = "../outside.txt", .Data = test::ToBytes("evil")});
    std::string inner = Target("inner");
    std::filesystem::create_directory(inner);
    std::vector<std::string> files;
    EXPECT_EQ(test::MessageOf<EPkwareZipError>(
                  [&] { ExtractZipFile(Write(a), files, inner + "\\"); }),
              "Cannot extract '../outside.txt': its name leads outside the destination folder");
    EXPECT_EQ(test::ListTree(out_.Root()), std::vector<std::string>{"inner"});

    TestArchive dirs;
    dirs.Members.push_back({.Name = "a/../../up/", .Data = {}});
    EXPECT_THROW(ExtractZipFile(Write(dirs), files, inner + "\\"), EPkwareZipError);
    EXPECT_EQ(test::ListTree(out_.Root()), std::vector<std::string>{"inner"});
}

TEST_F(ExtractZipFileTest, DriveAndNetworkNamesAreRefusedBeforeAnythingOutsideIsWritten) {
    for (std::string outside :
         {std::string("C:\\oru-elsewhere.txt"), std::string("\\\\srv\\share\\x.dll")}) {
        TestArchive a;
        a.Members.push_back({.Name = "fine.txt", .Data = test::ToBytes("fine")});
        a.Members.push_back({.Name = outside, .Data = test::ToBytes("evil")});
        std::string inner = Target("inner");
        std::filesystem::create_directories(inner);
        std::vector<std::string> files;
        EXPECT_THROW(ExtractZipFile(Write(a), files, inner + "\\"), EPkwareZipError) << outside;
        EXPECT_EQ(test::ListTree(out_.Root()), std::vector<std::string>{"inner"}) << outside;
    }
}

TEST_F(ExtractZipFileTest, RollbackRemovesMembersExtractedReadOnly) {
    TestArchive a;
    a.Members.push_back(
        {.Name = "ro.txt", .Data = test::ToBytes("ro"), .ExternalAttributes = 0x21});
    a.Members.push_back(
        {.Name = "bad.txt", .Data = Bytes{0xFF, 0xFF, 0xFF}, .Method = 8, .UncompressedSize = 50});
    std::vector<std::string> files;
    EXPECT_THROW(ExtractZipFile(Write(a), files, Dest()), EZlibError);
    EXPECT_TRUE(test::ListTree(out_.Root()).empty());
}

TEST_F(ExtractZipFileTest, SlashNamesGetTheirFolderOnlyFromAFolderMember) {
#ifndef _WIN32
    GTEST_SKIP() << "\"/\" is a path delimiter here";
#endif
    TestArchive a;
    a.Members.push_back({.Name = "nofolder/x.txt", .Data = test::ToBytes("x")});
    std::vector<std::string> files;
    EXPECT_THROW(ExtractZipFile(Write(a), files, Dest()), EFileOpenError);
    EXPECT_TRUE(test::ListTree(out_.Root()).empty());
}

TEST_F(ExtractZipFileTest, InvalidArchiveWritesNothing) {
    TestArchive a;
    a.Members.push_back({.Name = "x.txt", .Data = test::ToBytes("x")});
    a.Suffix = {0};
    std::vector<std::string> files;
    EXPECT_EQ(test::MessageOf<EPkwareZipError>([&] { ExtractZipFile(Write(a), files, Dest()); }),
              "'pkg.zip' is not a valid ZIP archive");
    EXPECT_TRUE(test::ListTree(out_.Root()).empty());
}

} // namespace
} // namespace oru
