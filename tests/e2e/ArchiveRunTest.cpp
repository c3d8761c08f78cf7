// Archive-only updates end to end: files put into their placeholder folders, and a
// member that fails.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"
#include "support/TestArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;

namespace {

const std::string kUnique = "oru-e2e-" + std::to_string(GetCurrentProcessId());

TEST(ArchiveRun, ATypicalUpdatePutsEveryFileInItsFolderAndShowsTheNotice) {
    TUpdateLayout layout("e2e-typical");
    layout.Source("files/New.dat", "new tables");
    layout.Source("files/Deep.dat", "deep");
    layout.Source("files/parcelon.exe", "MZ new program");
    layout.Source("files/win.ini", "windows");
    layout.Source("files/sys.dll", "system");
    layout.Source("files/temp.txt", "temporary");
    layout.BuildPackage("version: 01.23.00.00\n"
                        "notice: 100\n"
                        "notice-line: Please start Parcelon once\n"
                        "notice-line:  before you print.\n"
                        "file: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n"
                        "file: <INSTALLDIR>;1 Tables\\Sub\\Deep.dat = files/Deep.dat\n"
                        "file: <INSTALLDIR>;1 parcelon.exe = files/parcelon.exe\n"
                        "file: <WINDIR>;1 " + kUnique + ".ini = files/win.ini\n"
                        "file: <WINSYSDIR>;1 " + kUnique + ".dll = files/sys.dll\n"
                        "file: <TEMP>;1 " + kUnique + ".txt = files/temp.txt\n");

    TRunOutcome run = RunUpdate(layout);

    const std::string install = layout.InstallDir();
    EXPECT_EQ(run.WindowTitle, "ORU Parcelon Update");
    EXPECT_THAT(run.BoxTexts(), ElementsAre("Please start Parcelon once before you print."));
    EXPECT_THAT(run.RunLines(),
                ElementsAre("Extracted - " + install + "Tables\\New.dat",
                            "Extracted - " + install + "Tables\\Sub\\Deep.dat",
                            "Extracted - " + install + "parcelon.exe",
                            "Extracted - " + WindowsFolder() + kUnique + ".ini",
                            "Extracted - " + SystemFolder() + kUnique + ".dll",
                            "Extracted - " + TempFolder() + kUnique + ".txt", " ",
                            "ORU Parcelon is updated to version 01.23.00.00."));
    ASSERT_GE(run.History.size(), 11u);
    EXPECT_EQ(run.History[1], " |                    ORU Parcelon                     |");
    EXPECT_EQ(run.History[10], " **********  Update to version   01.23.00.00  **********");
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));

    EXPECT_EQ(layout.Installed("Tables\\New.dat"), "new tables");
    EXPECT_EQ(layout.Installed("Tables\\Sub\\Deep.dat"), "deep");
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");
    EXPECT_EQ(ReadWholeFile(WindowsFolder() + kUnique + ".ini"), "windows");
    EXPECT_EQ(ReadWholeFile(SystemFolder() + kUnique + ".dll"), "system");
    EXPECT_EQ(ReadWholeFile(TempFolder() + kUnique + ".txt"), "temporary");
    for (const std::string& f : {WindowsFolder() + kUnique + ".ini", SystemFolder() + kUnique + ".dll",
                                 TempFolder() + kUnique + ".txt"})
        DeleteFileA(f.c_str());
}

// The archive breaks off at a member whose data do not match its CRC: the run
// reports it, keeps the old file, and the member after it is never reached.
TEST(ArchiveRun, AFailingMemberEndsTheRunAndLeavesTheOldFile) {
    TUpdateLayout layout("e2e-failing");
    TestArchive archive;
    for (const char* name : {"first.dat", "parcelon.exe", "never.dat"})
        archive.Members.push_back(
            {.Name = name, .Data = ToBytes(std::string("new ") + name), .LocalExtra = "<INSTALLDIR>;1"});
    archive.Members[1].Crc = 0x01020304;
    layout.PackageFile("ORU.mcu", ToString(archive.Build()));
    layout.PackageFile("ORU.VER", "01.23.00.00\r\nY\r\nN\r\n");

    TRunOutcome run = RunUpdate(layout);

    const std::string install = layout.InstallDir();
    EXPECT_THAT(run.RunLines(), ElementsAre("Extracted - " + install + "first.dat",
                                            "Error updating - Extracting - " + install + "parcelon.exe",
                                            "ORU Parcelon update failed"));
    EXPECT_THAT(run.BoxTexts(), ElementsAre("CRC check failed for 'parcelon.exe'"));
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ old program");
    EXPECT_FALSE(FileExists(install + "never.dat"));
    EXPECT_TRUE(run.DoneOffered);
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
}

} // namespace
