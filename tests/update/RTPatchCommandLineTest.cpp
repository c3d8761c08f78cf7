#include "update/RTPatchCommandLine.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(RTPatchCommandLine, DriveSwitchNamesTheWindowsDriveFirstAndNetworkPathsGiveNoLetter) {
    const char* const rows[][3] = {
        {"D:\\Apps\\Parcelon\\", "C:\\WINDOWS\\", "-dCD"},
        {"C:\\Apps\\Parcelon\\", "C:\\WINDOWS\\", "-dC"},
        {"c:\\apps\\", "C:\\WINDOWS\\", "-dC"}, // letters compared upper-case
        {"d:\\apps\\", "c:\\windows\\", "-dCD"},
        {"\\\\server\\share\\Parcelon\\", "C:\\WINDOWS\\", "-dC"},
        {"D:\\Parcelon\\", "\\\\server\\win\\", "-dD"},
        {"\\\\server\\share\\", "\\\\server\\win\\", ""},
        {"D", "C", ""}, // too short for "X:"
        {"z:", "c:", "-dCZ"},
        {"Parcelon\\", "C:\\WINDOWS\\", "-dC"},
    };
    for (const auto& [install, windows, expected] : rows)
        EXPECT_EQ(BuildDriveSwitch(install, windows), expected) << install << " " << windows;
}

TEST(RTPatchCommandLine, FolderPartDropsTrailingDelimiterButKeepsRoots) {
    const char* const rows[][2] = {
        {"D:\\Apps\\Parcelon\\", "D:\\Apps\\Parcelon"}, {"C:\\", "C:\\"}, {"C:", "C:"},
        {"D:\\Apps\\Parcelon", "D:\\Apps"}, // a plain prefix, as given
        {"\\\\server\\share\\", "\\\\server\\share"}, {"Parcelon", ""},
    };
    for (const auto& [folder, expected] : rows)
        EXPECT_EQ(FolderWithoutDelimiter(folder), expected) << folder;
}

TEST(RTPatchCommandLine, QuotesFolderAndPatchFile) {
    TRTPatchCommandLine line = BuildRTPatchCommandLine("C:\\Program Files\\Parcelon\\",
                                                       "E:\\upd\\ORU.rtp", "C:\\WINDOWS\\");
    EXPECT_EQ(line.DriveSwitch, "-dC");
    EXPECT_EQ(line.Text, "-dC \"C:\\Program Files\\Parcelon\" \"E:\\upd\\ORU.rtp\"");
    // No switch: the line starts with the quote, no leading blank.
    line = BuildRTPatchCommandLine("\\\\srv\\apps\\", "\\\\srv\\upd\\ORU.rtp", "\\\\srv\\win\\");
    EXPECT_EQ(line.Text, "\"\\\\srv\\apps\" \"\\\\srv\\upd\\ORU.rtp\"");
}
