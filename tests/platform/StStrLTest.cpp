#include "platform/StStrL.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(StStrL, CenterPadPutsOddSurplusRight) {
    EXPECT_EQ(CenterPad("ab", '*', 5), "*ab**");
    EXPECT_EQ(CenterPad("abc", '*', 3), "abc");
    EXPECT_EQ(CenterPad("abcdef", '*', 3), "abcdef"); // never cut
    EXPECT_EQ(CenterPadSpaces("", 3), "   ");
    EXPECT_EQ(CenterPadSpaces("ORU Parcelon", 53).size(), 53u);
    EXPECT_EQ(CenterPadSpaces("ORU Parcelon", 53).find('O'), 20u); // (53-12) div 2
}

TEST(StStrL, WordsSkipDelimiterRuns) {
    EXPECT_EQ(ExtractWord(1, "<INSTALLDIR>;0", ";"), "<INSTALLDIR>");
    EXPECT_EQ(ExtractWord(2, "<INSTALLDIR>;0", ";"), "0");
    EXPECT_EQ(ExtractWord(1, ";0", ";"), "0");
    EXPECT_EQ(ExtractWord(2, ";0", ";"), "");
    EXPECT_EQ(ExtractWord(2, "a;;b", ";"), "b");
    EXPECT_EQ(ExtractWord(3, "a;b", ";"), "");
    EXPECT_EQ(ExtractWord(1, ";;x", ";"), "x");
    EXPECT_EQ(ExtractWord(1, "", ";"), "");
    EXPECT_EQ(ExtractWord(0, "a", ";"), "");
    EXPECT_EQ(ExtractWord(2, "EWS \t c:\\x y", " \t"), "c:\\x");
    size_t pos = 0;
    EXPECT_TRUE(WordPosition(2, "EWS  c:\\data\\ews files", " \t", pos));
    EXPECT_EQ(pos, 6u);
    EXPECT_FALSE(WordPosition(2, "EWS   ", " \t", pos));
    EXPECT_FALSE(CharInDelims("", 'a'));
}

TEST(StStrL, ExtensionsIgnoreDotsInFolders) {
    EXPECT_EQ(ForceExtension("C:\\dir.old\\file", "log"), "C:\\dir.old\\file.log");
    EXPECT_EQ(ForceExtension("PATCHW32.DLL", "mzp"), "PATCHW32.mzp");
    EXPECT_EQ(ForceExtension("", "mzp"), "");
    EXPECT_EQ(ForceExtension("name.", "x"), "name.x");
    EXPECT_EQ(JustExtension("C:\\upd\\ORU.rtp"), "rtp");
    EXPECT_EQ(JustExtension("C:\\dir.old\\file"), "");
    EXPECT_EQ(JustExtension("noext"), "");
    EXPECT_EQ(JustExtension(std::string("a.") + std::string(300, 'x')).size(), 260u);
    size_t dot = 0;
    EXPECT_TRUE(HasExtension("a.b.c", dot));
    EXPECT_EQ(dot, 4u);
}

TEST(StStrL, JustPathnameKeepsDriveRoots) {
    EXPECT_EQ(JustPathname("C:\\file"), "C:\\");
    EXPECT_EQ(JustPathname("C:\\dir\\file"), "C:\\dir");
    EXPECT_EQ(JustPathname("file"), "");
    EXPECT_EQ(JustPathname("C:file"), "C:");
    EXPECT_EQ(JustPathname("\\file"), "\\");
    EXPECT_EQ(JustPathname("\\\\srv\\share\\x.exe"), "\\\\srv\\share");
    EXPECT_EQ(JustPathname("a/b/c"), "");
}

TEST(StStrL, AddBackSlashOnlyForLongPathsAndDrives) {
    EXPECT_EQ(AddBackSlash(""), "");
    EXPECT_EQ(AddBackSlash("C:"), "C:\\");
    EXPECT_EQ(AddBackSlash("ab"), "ab");
    EXPECT_EQ(AddBackSlash("a"), "a");
    EXPECT_EQ(AddBackSlash("abc"), "abc\\");
    EXPECT_EQ(AddBackSlash("C:\\"), "C:\\");
    EXPECT_EQ(AddBackSlash("C:\\dir\\"), "C:\\dir\\");
}
