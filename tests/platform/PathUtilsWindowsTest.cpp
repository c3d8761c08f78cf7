// Path rules and the Windows answers: long names, the temporary folder, shell folders.
#include <windows.h>

#include "platform/FileUtilsX.h"
#include "platform/PathUtilsWindows.h"

#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(PathRules, FolderPartEndsAtBackslashOrColonOnlyAndEmptyGetsADelimiterOnlyWhenAsked) {
    const std::tuple<const char*, bool, const char*> folders[] = {
        {"C:\\dir\\file.txt", true, "C:\\dir\\"}, {"C:\\dir\\file.txt", false, "C:\\dir"},
        {"C:file.txt", true, "C:"},               {"C:\\", false, "C:"},
        {"a/b/c.txt", true, ""},                  {"x\\a/b", true, "x\\"},
    };
    for (const auto& [path, withDelimiter, folder] : folders)
        EXPECT_EQ(ExtractFilePath(path, withDelimiter), folder) << path;
    EXPECT_EQ(IncludeTrailingDelimiter(""), "");
    EXPECT_EQ(IncludeTrailingDelimiter("", false), "\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("a/"), "a/\\");
}

// Nothing in the program asks for a long name but the temporary folder: the
// short-name case and a path that must come back unchanged are enough.
TEST(LongPath, ShortFolderNamesBecomeLongAndMissingPathsStay) {
    oru::test::TScratch dir;
    const std::string full = dir.Dir() + "A Rather Long Folder Name\\Second Long Level";
    ASSERT_TRUE(ForceDirectories(full));
    char shortName[MAX_PATH + 1] = {};
    ASSERT_GT(::GetShortPathNameA(full.c_str(), shortName, sizeof shortName), 0u);
    ASSERT_NE(std::string(shortName), full) << "no short names on this file system";
    EXPECT_EQ(PathUtils().LongPathName(shortName),
              PathUtils().LongPathName(dir.Dir()) + "A Rather Long Folder Name\\Second Long Level\\");
    EXPECT_EQ(PathUtils().LongPathName(dir.Dir() + "missing\\deeper"), dir.Dir() + "missing\\deeper");
}

TEST(SystemPaths, TemporaryFolderIsTheLongFormWithADelimiter) {
    char raw[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathA(sizeof raw, raw), 0u);
    EXPECT_EQ(GetTempFolder(), IncludeTrailingDelimiter(PathUtils().LongPathName(raw)));
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
