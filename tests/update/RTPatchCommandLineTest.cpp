#include "update/RTPatchCommandLine.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(RTPatchCommandLine, DriveSwitchNamesWindowsDriveFirst) {
    EXPECT_EQ(BuildDriveSwitch("D:\\Apps\\Parcelon\\", "C:\\WINDOWS\\"), "-dCD");
    EXPECT_EQ(BuildDriveSwitch("C:\\Apps\\Parcelon\\", "C:\\WINDOWS\\"), "-dC");
    EXPECT_EQ(BuildDriveSwitch("c:\\apps\\", "C:\\WINDOWS\\"), "-dC"); // letters compared upper-case
    EXPECT_EQ(BuildDriveSwitch("d:\\apps\\", "c:\\windows\\"), "-dCD");
}

TEST(RTPatchCommandLine, NetworkPathsGiveNoLetter) {
    EXPECT_EQ(BuildDriveSwitch("\\\\server\\share\\Parcelon\\", "C:\\WINDOWS\\"), "-dC");
    EXPECT_EQ(BuildDriveSwitch("D:\\Parcelon\\", "\\\\server\\win\\"), "-dD");
    EXPECT_EQ(BuildDriveSwitch("\\\\server\\share\\", "\\\\server\\win\\"), "");
    EXPECT_EQ(BuildDriveSwitch("", ""), "");
    EXPECT_EQ(BuildDriveSwitch("D", "C"), ""); // too short for "X:"
    EXPECT_EQ(PathDriveLetter("z:"), 'Z');
    EXPECT_EQ(PathDriveLetter("Parcelon\\"), 0);
}

TEST(RTPatchCommandLine, FolderPartDropsTrailingDelimiterButKeepsRoots) {
    EXPECT_EQ(FolderWithoutDelimiter("D:\\Apps\\Parcelon\\"), "D:\\Apps\\Parcelon");
    EXPECT_EQ(FolderWithoutDelimiter("C:\\"), "C:\\");
    EXPECT_EQ(FolderWithoutDelimiter("C:"), "C:");
    EXPECT_EQ(FolderWithoutDelimiter("D:\\Apps\\Parcelon"), "D:\\Apps"); // a plain prefix, as given
    EXPECT_EQ(FolderWithoutDelimiter("\\\\server\\share\\"), "\\\\server\\share");
    EXPECT_EQ(FolderWithoutDelimiter("Parcelon"), "");
}

TEST(RTPatchCommandLine, QuotesFolderAndPatchFile) {
    TRTPatchCommandLine line =
        BuildRTPatchCommandLine("D:\\Apps\\Parcelon\\", "E:\\upd\\x.rtp", "C:\\WINDOWS\\");
    EXPECT_EQ(line.DriveSwitch, "-dCD");
    EXPECT_EQ(line.Text, "-dCD \"D:\\Apps\\Parcelon\" \"E:\\upd\\x.rtp\"");

    line = BuildRTPatchCommandLine("C:\\Program Files\\Parcelon\\", "C:\\upd\\ORU.rtp", "C:\\WINDOWS\\");
    EXPECT_EQ(line.Text, "-dC \"C:\\Program Files\\Parcelon\" \"C:\\upd\\ORU.rtp\"");

    // No switch: the line starts with the quote, no leading blank.
    line = BuildRTPatchCommandLine("\\\\srv\\apps\\", "\\\\srv\\upd\\ORU.rtp", "\\\\srv\\win\\");
    EXPECT_EQ(line.DriveSwitch, "");
    EXPECT_EQ(line.Text, "\"\\\\srv\\apps\" \"\\\\srv\\upd\\ORU.rtp\"");
}
