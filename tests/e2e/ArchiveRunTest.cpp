// Archive-only updates end to end: files put into their placeholder folders, the
// edition filter, optional EWS members, and members that fail.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"
#include "platform/SysUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kUnique = "oru-e2e-" + std::to_string(GetCurrentProcessId());

// The Paths key of Parcelon 2010 in the prefix; the values a case sets go again with it.
class TPathsKey {
public:
    TPathsKey() {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Oru Software\\Parcelon 2010\\Paths", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        Clear();
    }
    ~TPathsKey() {
        Clear();
        RegCloseKey(key_);
    }
    void Set(const char* name, const std::string& value) {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }

private:
    void Clear() {
        for (const char* name : {"AMS_EWS", "AMS_CONFIG"})
            RegDeleteValueA(key_, name);
    }
    HKEY key_ = nullptr;
};

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
    EXPECT_EQ(ReadFileBytes(WindowsFolder() + kUnique + ".ini"), "windows");
    EXPECT_EQ(ReadFileBytes(SystemFolder() + kUnique + ".dll"), "system");
    EXPECT_EQ(ReadFileBytes(TempFolder() + kUnique + ".txt"), "temporary");
    for (const std::string& f : {WindowsFolder() + kUnique + ".ini", SystemFolder() + kUnique + ".dll",
                                 TempFolder() + kUnique + ".txt"})
        DeleteFileA(f.c_str());
}

TEST(ArchiveRun, ADatedUpdateSaysAsOfItsDate) {
    TUpdateLayout layout("e2e-dated");
    layout.Source("New.dat", "x");
    layout.BuildPackage("version: * 12/01/2010\nfile: <INSTALLDIR>;1 New.dat\n");
    TRunOutcome run = RunUpdate(layout);
    ASSERT_GE(run.History.size(), 11u);
    EXPECT_EQ(run.History[10], " **************  Update as of 12/01/2010  **************");
    EXPECT_THAT(run.RunLines(), ElementsAre("Extracted - " + layout.InstallDir() + "New.dat", " ",
                                            "ORU Parcelon is updated as of 12/01/2010."));
}

TEST(ArchiveRun, EditionKindsChooseTheMembersOfEachEdition) {
    for (int product : {1, 2}) {
        SCOPED_TRACE(product);
        TUpdateLayout layout("e2e-edition");
        for (const char* f : {"full.dat", "le.dat", "all.dat"})
            layout.Source(f, f);
        layout.BuildPackage("version: 01.23.00.00\n"
                            "file: <INSTALLDIR>;0 full.dat\n"
                            "file: <INSTALLDIR>;2 le.dat\n"
                            "file: <INSTALLDIR>;1 all.dat\n");
        TRunOptions options;
        options.Arguments = "\"" + layout.InstallDir() + "\" -NV N -P " + std::to_string(product);
        TRunOutcome run = RunUpdate(layout, options);
        const std::string shown = product == 2 ? "le.dat" : "full.dat";
        const std::string hidden = product == 2 ? "full.dat" : "le.dat";
        const std::string name = product == 2 ? "ORU Parcelon LE" : "ORU Parcelon";
        EXPECT_EQ(run.WindowTitle, name + " Update");
        EXPECT_THAT(run.RunLines(), ElementsAre("Extracted - " + layout.InstallDir() + shown,
                                                "Extracted - " + layout.InstallDir() + "all.dat", " ",
                                                name + " is updated to version 01.23.00.00."));
        EXPECT_FALSE(Exists(layout.InstallDir() + hidden));
    }
}

TEST(ArchiveRun, EwsMembersGoWhereTheDataSetIsAndAreSkippedElsewhere) {
    TPathsKey paths;
    TUpdateLayout layout("e2e-ews");
    layout.Source("ews.dat", "ews data");
    layout.Source("next.dat", "next");
    layout.BuildPackage("version: 01.23.00.00\nfile: <EWSDIR>;1 ews.dat\nfile: <INSTALLDIR>;1 next.dat\n");
    const std::string next = "Extracted - " + layout.InstallDir() + "next.dat";
    const std::string success = "ORU Parcelon is updated to version 01.23.00.00.";

    TRunOutcome notInstalled = RunUpdate(layout);
    EXPECT_THAT(notInstalled.RunLines(),
                ElementsAre("EWS file has not been installed yet - ews.dat", next, " ", success));

    const std::string missing = layout.Root() + "NoEws\\";
    paths.Set("AMS_EWS", missing);
    TRunOutcome unavailable = RunUpdate(layout);
    EXPECT_THAT(unavailable.RunLines(),
                ElementsAre("EWS file is not available - " + missing + "ews.dat", next, " ", success));

    // The configuration folder's z4config.dat names the data set's folder.
    const std::string config = layout.Root() + "Config\\";
    const std::string ews = layout.Root() + "Data\\EWS\\";
    CreateDirectoryA(config.c_str(), nullptr);
    CreateDirectoryA((layout.Root() + "Data").c_str(), nullptr);
    CreateDirectoryA(ews.c_str(), nullptr);
    WriteBytes(config + "z4config.dat", "ZIP4 c:\\zip4\r\nEWS " + ews + "\r\n");
    paths.Set("AMS_CONFIG", config);
    TRunOutcome redirected = RunUpdate(layout);
    EXPECT_THAT(redirected.RunLines(),
                ElementsAre("Extracted - " + UpperCase(ews) + "ews.dat", next, " ", success));
    EXPECT_EQ(ReadFileBytes(ews + "ews.dat"), "ews data");
    EXPECT_THAT(redirected.Boxes, IsEmpty());
}

TEST(ArchiveRun, AReadOnlyProgramIsReplaced) {
    TUpdateLayout layout("e2e-readonly");
    SetFileAttributesA((layout.InstallDir() + "parcelon.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    layout.Source("parcelon.exe", "MZ new program");
    layout.BuildPackage("version: 01.23.00.00\nfile: <INSTALLDIR>;1 parcelon.exe\n");
    TRunOutcome run = RunUpdate(layout);
    EXPECT_THAT(run.RunLines(), ElementsAre("Extracted - " + layout.InstallDir() + "parcelon.exe", " ",
                                            "ORU Parcelon is updated to version 01.23.00.00."));
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");
}

// Archives written by Python's zipfile, each with a member the run cannot take.
struct FailingArchive {
    const char* fixture;
    std::vector<std::string> lines; // "$" stands for the installation folder
    std::string box;
};

TEST(ArchiveRun, AFailingMemberEndsTheRunAndLeavesTheOldFile) {
    const FailingArchive cases[] = {
        {"badcrc.mcu",
         {"Extracted - $first.dat", "Error updating - Extracting - $parcelon.exe", "ORU Parcelon update failed"},
         "CRC check failed for 'parcelon.exe'"},
        {"lowercase.mcu",
         {"Error updating - Extracting - Tables\\New.dat", "ORU Parcelon update failed"},
         "The member 'Tables\\New.dat' names no known target folder ('<installdir>')"},
        // The failing member shows nothing itself: the line names the last one shown.
        {"nodirective.mcu",
         {"Extracted - $first.dat", "Error updating - Extracting - $first.dat", "ORU Parcelon update failed"},
         "'' is not a valid integer value"},
    };
    for (const FailingArchive& c : cases) {
        SCOPED_TRACE(c.fixture);
        TUpdateLayout layout("e2e-failing");
        layout.CopyToPackage(Fixture(c.fixture), "ORU.mcu");
        layout.PackageFile("ORU.VER", "01.23.00.00\r\nY\r\nN\r\n");
        TRunOutcome run = RunUpdate(layout);
        std::vector<std::string> expected;
        for (std::string line : c.lines) {
            if (size_t at = line.find('$'); at != std::string::npos)
                line.replace(at, 1, layout.InstallDir());
            expected.push_back(line);
        }
        EXPECT_EQ(run.RunLines(), expected);
        EXPECT_THAT(run.BoxTexts(), ElementsAre(c.box));
        EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ old program");
        EXPECT_FALSE(Exists(layout.InstallDir() + "never.dat"));
        EXPECT_FALSE(Exists(layout.InstallDir() + "Tables"));
        EXPECT_TRUE(run.DoneOffered);
        EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
    }
}

} // namespace
