#include "archive/OruZlib.h"
#include "archive/PkwareZip.h"

#include "ArchiveTestSupport.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;
using test::TestArchive;

class ExtractZipFileTest : public ::testing::Test {
  protected:
    std::string Write(const TestArchive& a) {
        test::WriteWholeFile(dir_.File("pkg.zip"), a.Build());
        return dir_.File("pkg.zip");
    }
    // The destination as the callers pass it: with a trailing "\".
    std::string Dest() const { return out_.Root().string() + "\\"; }
    std::string Target(const std::string& relative) const { return out_.File(relative); }

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
    a.Members.push_back({.Name = "empty.txt", .Data = {}, .ExternalAttributes = 0x21});
    // A read-only target is replaced.
    test::WriteWholeFile(Target("docs/a.txt"), test::ToBytes("old old old"));
    ASSERT_TRUE(FileSetAttr(Target("docs/a.txt"), faReadOnly));
    std::vector<std::string> files = {"stale entry"};
    ExtractZipFile(Write(a), files, Dest());
    EXPECT_EQ(files, (std::vector<std::string>{Dest() + "docs/a.txt", Dest() + "Tables\\New.dat",
                                               Dest() + "empty.txt"}));
    EXPECT_EQ(test::ListTree(out_.Root()),
              (std::vector<std::string>{"Tables", "Tables/New.dat", "deep", "deep/er", "docs",
                                        "docs/a.txt", "empty.txt"}));
    EXPECT_EQ(test::ReadWholeBytes(Target("docs/a.txt")), test::ToBytes("alpha"));
    EXPECT_EQ(test::ReadWholeBytes(Target("Tables/New.dat")), test::PatternBytes(70000));
    // The empty member is created plainly, without its attributes.
    EXPECT_TRUE(test::ReadWholeBytes(Target("empty.txt")).empty());
    EXPECT_EQ(FileGetAttr(Target("empty.txt")) & faReadOnly, 0);
}

// The members written before the failing one go, even those extracted read-only;
// the failing member's old file stays, and so do the folders.
TEST_F(ExtractZipFileTest, FailureDeletesEveryWrittenFileAndKeepsTheFailingTarget) {
    TestArchive a;
    a.Members.push_back({.Name = "one.txt", .Data = test::ToBytes("1"), .ExternalAttributes = 0x21});
    a.Members.push_back({.Name = "sub/", .Data = {}});
    a.Members.push_back({.Name = "sub/two.txt", .Data = test::PatternBytes(5000), .Deflate = true});
    a.Members.push_back(
        {.Name = "keep.txt", .Data = Bytes{0xFF, 0xFF, 0xFF}, .Method = 8, .UncompressedSize = 50});
    test::WriteWholeFile(Target("keep.txt"), test::ToBytes("the old file"));
    std::vector<std::string> files;
    EXPECT_EQ(test::MessageOf<EZlibError>([&] { ExtractZipFile(Write(a), files, Dest()); })
                  .rfind("Cannot extract 'keep.txt'.\rzlib error.\r\n", 0),
              0u);
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(test::ReadWholeBytes(Target("keep.txt")), test::ToBytes("the old file"));
    EXPECT_EQ(test::ListTree(out_.Root()), (std::vector<std::string>{"keep.txt", "sub"}));
}

TEST_F(ExtractZipFileTest, NamesLeadingOutsideStopTheRunBeforeAnythingIsWrittenThere) {
    const std::string inner = out_.MakeFolder("inner");
    for (const char* outside :
         {"../outside.txt", "a/../../up/", "C:\\oru-elsewhere.txt", "\\\\srv\\share\\x.dll"}) {
        SCOPED_TRACE(outside);
        TestArchive a;
        a.Members.push_back({.Name = "fine.txt", .Data = test::ToBytes("fine")});
        a.Members.push_back({.Name = outside, .Data = test::ToBytes("evil")});
        std::vector<std::string> files;
        EXPECT_EQ(
            test::MessageOf<EPkwareZipError>([&] { ExtractZipFile(Write(a), files, inner); }),
            "Cannot extract '" + std::string(outside) +
                "': its name leads outside the destination folder");
        EXPECT_EQ(test::ListTree(out_.Root()), std::vector<std::string>{"inner"});
    }
}

} // namespace
} // namespace oru
