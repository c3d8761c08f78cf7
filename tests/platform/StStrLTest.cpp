#include "platform/StStrL.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(StStrL, CenterPadPutsOddSurplusRight) {
    EXPECT_EQ(CenterPad("ab", '*', 5), "*ab**");
    EXPECT_EQ(CenterPad("abc", '*', 3), "abc");
    EXPECT_EQ(CenterPad("abcdef", '*', 3), "abcdef"); // never cut
    EXPECT_EQ(CenterPadSpaces("", 3), "   ");
}

TEST(StStrL, WordsSkipDelimiterRuns) {
    const std::tuple<int, const char*, const char*, const char*> rows[] = {
        {1, "<INSTALLDIR>;0", ";", "<INSTALLDIR>"}, {2, "<INSTALLDIR>;0", ";", "0"},
        {1, ";0", ";", "0"},   {2, ";0", ";", ""},   {2, "a;;b", ";", "b"}, {3, "a;b", ";", ""},
        {1, "", ";", ""},      {0, "a", ";", ""},    {2, "EWS \t c:\\x y", " \t", "c:\\x"},
    };
    for (const auto& [n, text, delims, word] : rows)
        EXPECT_EQ(ExtractWord(n, text, delims), word) << text << " " << n;
    size_t pos = 0;
    EXPECT_TRUE(WordPosition(2, "EWS  c:\\data\\ews files", " \t", pos));
    EXPECT_EQ(pos, 6u);
    EXPECT_FALSE(WordPosition(2, "EWS   ", " \t", pos));
}

// Only a dot after the last folder delimiter starts an extension.
TEST(StStrL, PathPiecesIgnoreDotsInFoldersAndKeepDriveRoots) {
    EXPECT_EQ(ForceExtension("C:\\dir.old\\file", "log"), "C:\\dir.old\\file.log");
    EXPECT_EQ(ForceExtension("PATCHW32.DLL", "mzp"), "PATCHW32.mzp");
    EXPECT_EQ(ForceExtension("", "mzp"), "");
    const std::pair<const char*, const char*> paths[] = {
        {"C:\\file", "C:\\"}, {"C:\\dir\\file", "C:\\dir"}, {"file", ""}, {"C:file", "C:"},
        {"\\file", "\\"},     {"\\\\srv\\share\\x.exe", "\\\\srv\\share"}, {"a/b/c", ""},
    };
    for (const auto& [path, folder] : paths)
        EXPECT_EQ(JustPathname(path), folder) << path;
    const std::pair<const char*, const char*> slashes[] = {
        {"", ""}, {"C:", "C:\\"}, {"ab", "ab"}, {"abc", "abc\\"}, {"C:\\dir\\", "C:\\dir\\"},
    };
    for (const auto& [path, withSlash] : slashes)
        EXPECT_EQ(AddBackSlash(path), withSlash) << path;
}
