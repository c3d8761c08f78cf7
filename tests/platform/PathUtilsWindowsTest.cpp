// Path rules and the Windows answers: long names, the temporary folder, shell folders.
#include <windows.h>

#include "platform/PathUtilsWindows.h"

#include "support/Files.h"
#include "support/Scratch.h"
#include "platform/FileUtilsX.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::TScratch;
using oru::test::WriteWholeFile;

TEST(PathRules, FolderPartEndsAtBackslashOrColonOnly) {
    EXPECT_EQ(ExtractFilePath("C:\\dir\\file.txt"), "C:\\dir\\");
    EXPECT_EQ(ExtractFilePath("C:\\dir\\file.txt", false), "C:\\dir");
    EXPECT_EQ(ExtractFilePath("C:file.txt"), "C:");
    EXPECT_EQ(ExtractFilePath("C:\\", false), "C:");
    EXPECT_EQ(ExtractFilePath("a/b/c.txt"), "");
    EXPECT_EQ(ExtractFilePath("x\\a/b"), "x\\");
    EXPECT_EQ(ExtractFilePath("name"), "");
}

TEST(PathRules, TrailingDelimiterKeepsEmptyOnlyWhenAsked) {
    EXPECT_EQ(IncludeTrailingDelimiter(""), "");
    EXPECT_EQ(IncludeTrailingDelimiter("", false), "\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("a/"), "a/\\");
}

TEST(LongPath, ShortFolderNamesBecomeLong) {
    TScratch dir;
    std::string longDir = dir.Dir() + "A Rather Long Folder Name";
    ASSERT_TRUE(ForceDirectories(longDir + "\\Second Long Level"));
    std::string full = longDir + "\\Second Long Level";
    char shortName[MAX_PATH + 1] = {};
    DWORD n = ::GetShortPathNameA(full.c_str(), shortName, sizeof shortName);
    ASSERT_GT(n, 0u);
    ASSERT_NE(std::string(shortName), full) << "no short names on this file system";
    // The expected long form starts from the long form of the scratch folder itself.
    std::string expected =
        PathUtils().LongPathName(dir.Dir()) + "A Rather Long Folder Name\\Second Long Level\\";
    EXPECT_EQ(PathUtils().LongPathName(shortName), expected);
    EXPECT_EQ(PathUtils().LongPathName(std::string(shortName) + "\\"), expected);
}

TEST(LongPath, OtherPathsComeBackUnchanged) {
    TScratch dir;
    WriteWholeFile(dir.Dir() + "file.txt", "x");
    EXPECT_EQ(PathUtils().LongPathName(""), "");
    EXPECT_EQ(PathUtils().LongPathName("C:\\"), "C:\\");
    EXPECT_EQ(PathUtils().LongPathName("C:"), "C:");
    EXPECT_EQ(PathUtils().LongPathName("\\\\server\\share\\"), "\\\\server\\share\\");
    EXPECT_EQ(PathUtils().LongPathName(dir.Dir() + "missing\\deeper"), dir.Dir() + "missing\\deeper");
    EXPECT_EQ(PathUtils().LongPathName(dir.Dir() + "file.txt"), dir.Dir() + "file.txt");
    // A wildcard must not be answered with whatever entry matches it.
    EXPECT_EQ(PathUtils().LongPathName(dir.Dir() + "*"), dir.Dir() + "*");
}

TEST(SystemPaths, TemporaryFolderIsTheLongFormWithADelimiter) {
    char raw[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathA(sizeof raw, raw), 0u);
    std::string temp = GetTempFolder();
    EXPECT_EQ(temp, IncludeTrailingDelimiter(PathUtils().LongPathName(raw)));
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(DirectoryExists(temp));
}

// Nothing in the program asks for these yet; one answer each is enough.
TEST(SystemPaths, ShellFoldersAndProfile) {
    std::string common, local;
    EXPECT_EQ(PathUtils().GetCommonAppDataFolder(common), 0);
    EXPECT_TRUE(DirectoryExists(common));
    EXPECT_EQ(PathUtils().GetLocalAppDataFolder(local), 0);
    EXPECT_NE(local, common);
    EXPECT_FALSE(PathUtils().GetUserProfileFolder().empty());
}
