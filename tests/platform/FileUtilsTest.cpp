// The platform-neutral rules of the file utilities: the error message builder, the
// file-error raisers and the folder-creation recursion (over a replaceable
// implementation, so the recursion is seen call by call).
#include "platform/FileUtilsX.h"
#include "platform/SoftRegDefaults.h"

#include "support/MessageOf.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace oru;
using oru::test::MessageOf;

TEST(ErrorMessage, BuilderJoinsContextDetailAndCode) {
    EXPECT_EQ(BuildErrorMessage("Cannot open", "Not found.", 2, "%d"),
              "Cannot open.\r\nNot found (2)");
    EXPECT_EQ(BuildErrorMessage("Ends with one.", "x", 5, "%d"), "Ends with one.\r\nx (5)");
    EXPECT_EQ(BuildErrorMessage("", "Only detail", 0, ""), "Only detail");
    EXPECT_EQ(BuildErrorMessage("c", "two..", 1, nullptr), "c.\r\ntwo."); // one stop only
    EXPECT_EQ(BuildErrorMessage("c", "hex", 255, "%X"), "c.\r\nhex (FF)");
}

TEST(ErrorMessage, MissingDetailBecomesTheGenericFailureText) {
    std::string generic = SystemErrorMessage(ErrorCodeFail);
    EXPECT_FALSE(generic.empty());
    EXPECT_NE(generic.back(), '.');
    EXPECT_EQ(BuildErrorMessage("c", "", 7, nullptr), "c.\r\n" + generic);
    EXPECT_EQ(AppendSystemError("Something failed", 0), "Something failed.\r\n" + generic);
}

TEST(ErrorMessage, SystemTextIsTrimmedAndKeepsTheLastError) {
    SetLastOsError(13);
    std::string text = SystemErrorMessage(2);
    EXPECT_EQ(GetLastOsError(), 13);
    ASSERT_FALSE(text.empty());
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
    EXPECT_NE(text.back(), '.');
    EXPECT_EQ(AppendSystemError("ctx", 2), "ctx.\r\n" + text + " (2)");
}

namespace {

// Folders live in a set; every creation is recorded.
class FakeFileUtils : public TFileUtils {
  public:
    std::set<std::string> folders;
    std::set<std::string> refused;
    std::vector<std::string> created;

    bool CreateDirectory(const std::string& path) override {
        if (refused.count(path))
            return false;
        folders.insert(path);
        created.push_back(path);
        return true;
    }
    bool DirectoryExists(const std::string& path) override { return folders.count(path) != 0; }
    [[noreturn]] void RaiseError(FileErrorKind kind, const std::string& message) override {
        lastKind = kind;
        throw EFileError(message, 99);
    }
    void GetFileTimes(const std::string&, TFileTimes&) override {}
    FileErrorKind lastKind = FileErrorKind::Generic;
};

class Replaced : public ::testing::Test {
  protected:
    void SetUp() override { SetFileUtils(&fake); }
    void TearDown() override { SetFileUtils(nullptr); }
    FakeFileUtils fake;
};

} // namespace

TEST_F(Replaced, ForceDirectoriesCreatesMissingLevelsTopDown) {
    fake.folders = {"root"};
    EXPECT_TRUE(ForceDirectories("root\\a\\b\\"));
    EXPECT_EQ(fake.created, (std::vector<std::string>{"root\\a", "root\\a\\b"}));
    fake.created.clear();
    EXPECT_TRUE(ForceDirectories("root\\a\\b"));
    EXPECT_TRUE(ForceDirectories(""));
    EXPECT_TRUE(fake.created.empty());
}

TEST_F(Replaced, ForceDirectoriesStopsBelowALevelThatCannotBeMade) {
    fake.folders = {"root"};
    fake.refused = {"root\\blocked"};
    EXPECT_FALSE(ForceDirectories("root\\blocked\\x\\y"));
    EXPECT_TRUE(fake.created.empty());

    EXPECT_EQ(MessageOf<EFileError>([] { CheckForceDirectories("root\\blocked\\x"); }),
              "Cannot create the directory 'root\\blocked\\x'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Generic);
}

TEST_F(Replaced, RaisersFormatOnlyTheFileName) {
    auto message = [](auto raise, const std::string& name) {
        return MessageOf<EFileError>([&] { raise(name); });
    };
    EXPECT_EQ(message(RaiseOpenError, "a"), "Cannot open the file 'a'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Open);
    EXPECT_EQ(message(RaiseReadError, "b"), "Error reading file 'b'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Read);
    EXPECT_EQ(message(RaiseSeekError, "c"), "File seek error in 'c'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Seek);
    EXPECT_EQ(message(RaiseWriteError, "d"), "Error writing to the file 'd'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Write);
    // Percent signs in names are text, never formatting.
    EXPECT_EQ(message(RaiseOpenError, "100%d %s %n.txt"), "Cannot open the file '100%d %s %n.txt'");
    EXPECT_EQ(MessageOf<EFileError>(
                  [] { RaiseFileError(FileErrorKind::Lock, "f", "%s and %s, 50%% %d"); }),
              "f and f, 50% %d");
}

// The program installs a provider before its product is chosen, so the name must
// be asked for each time.
TEST(SoftRegDefaults, TheProductProviderIsAskedEachTime) {
    int asked = 0;
    SetSoftRegDefaults(nullptr, [&] { return std::to_string(++asked); });
    EXPECT_EQ(SoftRegDefaultProduct(), "1");
    EXPECT_EQ(SoftRegDefaultProduct(), "2");
    SetSoftRegDefaults(nullptr, nullptr);
    EXPECT_EQ(SoftRegDefaultCompany(), "Oru Software");
}
