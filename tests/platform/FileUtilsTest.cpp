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
    const std::string generic = SystemErrorMessage(ErrorCodeFail);
    ASSERT_FALSE(generic.empty());
    const std::tuple<const char*, const char*, int, const char*, std::string> rows[] = {
        {"Cannot open", "Not found.", 2, "%d", "Cannot open.\r\nNot found (2)"},
        {"Ends with one.", "x", 5, "%d", "Ends with one.\r\nx (5)"},
        {"", "Only detail", 0, "", "Only detail"},
        {"c", "two..", 1, nullptr, "c.\r\ntwo."}, // one stop only
        {"c", "hex", 255, "%X", "c.\r\nhex (FF)"},
        {"c", "", 7, nullptr, "c.\r\n" + generic}, // no detail: the generic failure text
    };
    for (const auto& [context, detail, code, format, message] : rows)
        EXPECT_EQ(BuildErrorMessage(context, detail, code, format), message);
    EXPECT_EQ(AppendSystemError("Something failed", 0), "Something failed.\r\n" + generic);
}

TEST(ErrorMessage, SystemTextIsTrimmedAndKeepsTheLastError) {
    SetLastOsError(13);
    const std::string text = SystemErrorMessage(2);
    EXPECT_EQ(GetLastOsError(), 13);
    ASSERT_FALSE(text.empty());
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
    EXPECT_NE(text.back(), '.');
}

namespace {

// Folders live in a set; every creation is recorded.
class FakeFileUtils : public TFileUtils {
  public:
    std::set<std::string> folders{"root"}, refused{"root\\blocked"};
    std::vector<std::string> created;
    FileErrorKind lastKind = FileErrorKind::Generic;

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
};

class Replaced : public ::testing::Test {
  protected:
    void SetUp() override { SetFileUtils(&fake); }
    void TearDown() override { SetFileUtils(nullptr); }
    FakeFileUtils fake;
};

} // namespace

TEST_F(Replaced, ForceDirectoriesCreatesMissingLevelsTopDownAndStopsAtARefusal) {
    EXPECT_TRUE(ForceDirectories("root\\a\\b\\"));
    EXPECT_TRUE(ForceDirectories("root\\a\\b"));
    EXPECT_TRUE(ForceDirectories(""));
    EXPECT_EQ(fake.created, (std::vector<std::string>{"root\\a", "root\\a\\b"}));
    EXPECT_FALSE(ForceDirectories("root\\blocked\\x\\y"));
    EXPECT_EQ(fake.created.size(), 2u);
    EXPECT_EQ(MessageOf<EFileError>([] { CheckForceDirectories("root\\blocked\\x"); }),
              "Cannot create the directory 'root\\blocked\\x'");
    EXPECT_EQ(fake.lastKind, FileErrorKind::Generic);
}

TEST_F(Replaced, RaisersFormatOnlyTheFileName) {
    const std::tuple<void (*)(const std::string&), FileErrorKind, const char*> rows[] = {
        {RaiseOpenError, FileErrorKind::Open, "Cannot open the file '100%d %s %n.txt'"},
        {RaiseReadError, FileErrorKind::Read, "Error reading file '100%d %s %n.txt'"},
        {RaiseSeekError, FileErrorKind::Seek, "File seek error in '100%d %s %n.txt'"},
        {RaiseWriteError, FileErrorKind::Write, "Error writing to the file '100%d %s %n.txt'"},
    };
    // Percent signs in names are text, never formatting.
    for (const auto& [raise, kind, message] : rows) {
        EXPECT_EQ(MessageOf<EFileError>([raise = raise] { raise("100%d %s %n.txt"); }), message);
        EXPECT_EQ(fake.lastKind, kind);
    }
    EXPECT_EQ(MessageOf<EFileError>([] { RaiseFileError(FileErrorKind::Lock, "f", "%s and %s, 50%% %d"); }),
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
