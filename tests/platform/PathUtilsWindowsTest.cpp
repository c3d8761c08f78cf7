// Path rules and the Windows answers: long names, the temporary folder, shell folders.
#include <windows.h>

#include "platform/PathUtilsWindows.h"

#include "ScratchFolder.h"
#include "platform/FileUtilsX.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::ScratchFolder;
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
    EXPECT_EQ(PathUtils().MaxPath(), 260);
    EXPECT_EQ(PathUtils().NormalizePath("a\\..\\b"), "a\\..\\b");
}

TEST(LongPath, ShortFolderNamesBecomeLong) {
    ScratchFolder dir;
    std::string longDir = dir / "A Rather Long Folder Name";
    ASSERT_TRUE(ForceDirectories(longDir + "\\Second Long Level"));
    std::string full = longDir + "\\Second Long Level";
    char shortName[MAX_PATH + 1] = {};
    DWORD n = ::GetShortPathNameA(full.c_str(), shortName, sizeof shortName);
    ASSERT_GT(n, 0u);
    ASSERT_NE(std::string(shortName), full) << "no short names on this file system";
    // The expected long form starts from the long form of the scratch folder itself.
    std::string expected =
        PathUtils().LongPathName(dir.Path()) + "A Rather Long Folder Name\\Second Long Level\\";
    EXPECT_EQ(PathUtils().LongPathName(shortName), expected);
    EXPECT_EQ(PathUtils().LongPathName(std::string(shortName) + "\\"), expected);
}

TEST(LongPath, OtherPathsComeBackUnchanged) {
    ScratchFolder dir;
    WriteWholeFile(dir / "file.txt", "x");
    EXPECT_EQ(PathUtils().LongPathName(""), "");
    EXPECT_EQ(PathUtils().LongPathName("C:\\"), "C:\\");
    EXPECT_EQ(PathUtils().LongPathName("C:"), "C:");
    EXPECT_EQ(PathUtils().LongPathName("\\\\server\\share\\"), "\\\\server\\share\\");
    EXPECT_EQ(PathUtils().LongPathName(dir / "missing\\deeper"), dir / "missing\\deeper");
    EXPECT_EQ(PathUtils().LongPathName(dir / "file.txt"), dir / "file.txt");
    // A wildcard must not be answered with whatever entry matches it.
    EXPECT_EQ(PathUtils().LongPathName(dir / "*"), dir / "*");
}

TEST(SystemPaths, TemporaryFolderIsTheLongFormWithADelimiter) {
    char raw[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathA(sizeof raw, raw), 0u);
    std::string temp = GetTempFolder();
    EXPECT_EQ(temp, IncludeTrailingDelimiter(PathUtils().LongPathName(raw)));
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(DirectoryExists(temp));
}

TEST(SystemPaths, ShellFoldersAndProfile) {
    std::string common, local;
    EXPECT_EQ(PathUtils().GetCommonAppDataFolder(common), 0);
    EXPECT_FALSE(common.empty());
    EXPECT_NE(common.back(), '\\');
    EXPECT_TRUE(DirectoryExists(common));
    EXPECT_EQ(PathUtils().GetLocalAppDataFolder(local), 0);
    EXPECT_FALSE(local.empty());
    EXPECT_NE(local, common);

    char profile[MAX_PATH + 1] = {};
    DWORD n = ::GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    EXPECT_EQ(PathUtils().GetUserProfileFolder(), std::string(profile, n));
    ::SetEnvironmentVariableA("USERPROFILE", nullptr);
    EXPECT_EQ(PathUtils().GetUserProfileFolder(), "");
    ::SetEnvironmentVariableA("USERPROFILE", profile);
}
