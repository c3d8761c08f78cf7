// Updates with the real patch engine end to end: patch-only and combined runs, the
// engine from the package or from the system folder, Cancel, and a patch that
// cannot be applied. After every failure the installation is byte for byte as
// before.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

using namespace oru;
using namespace oru::test;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::string kSuccess = "ORU Parcelon is updated to version 01.23.00.00.";

// An installation of three files and the trees a patch is made from: the program
// and the tables change, a file is added, one goes.
void LayOutTrees(TUpdateLayout& layout) {
    const std::string tables = "ZIP;CITY;STATE\r\n12345;SPRINGFIELD;IL\r\n";
    layout.Install("Data\\tables.dat", tables);
    layout.Install("Data\\old.dat", "obsolete");
    for (const char* tree : {"old", "new"}) {
        const bool updated = std::string(tree) == "new";
        const std::string base = std::string(tree) + "/";
        layout.Source(base + "parcelon.exe", updated ? "MZ new program" : "MZ old program");
        layout.Source(base + "Data/tables.dat", updated ? tables + "54321;SHELBYVILLE;IL\r\n" : tables);
        layout.Source(base + (updated ? "Data/added.dat" : "Data/old.dat"), updated ? "added" : "obsolete");
    }
}

void ExpectUpdatedTrees(const TUpdateLayout& layout) {
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");
    EXPECT_THAT(layout.Installed("Data\\tables.dat"), HasSubstr("SHELBYVILLE"));
    EXPECT_EQ(layout.Installed("Data\\added.dat"), "added");
    EXPECT_FALSE(FileExists(layout.InstallDir() + "Data\\old.dat"));
}

// The lines the patch step writes before the engine speaks.
std::vector<std::string> Preamble(const TUpdateLayout& layout, const std::string& dllLine) {
    const std::string drives = "-d" + WindowsFolder().substr(0, 1) +
                               (layout.InstallDir()[0] == WindowsFolder()[0] ? "" : layout.InstallDir().substr(0, 1));
    return {" ",
            "ORU Parcelon installation folder: " + layout.InstallDir(),
            " ",
            "Windows folder: " + WindowsFolder(),
            "System folder: " + SystemFolder(),
            " ",
            "ORU Parcelon patch file: " + layout.UpdateDir() + "ORU.rtp [" + drives + "]",
            " ",
            dllLine};
}

std::vector<std::string> Slice(const std::vector<std::string>& lines, size_t from, size_t count) {
    if (from + count > lines.size())
        return lines;
    return std::vector<std::string>(lines.begin() + from, lines.begin() + from + count);
}

std::vector<std::string> Tail(const std::vector<std::string>& lines, size_t count) {
    return lines.size() < count ? lines : std::vector<std::string>(lines.end() - count, lines.end());
}

TEST(PatchRun, APatchOnlyUpdateWithTheEngineFromThePackage) {
    TUpdateLayout layout("e2e-patch");
    LayOutTrees(layout);
    layout.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\nengine: " + EngineLibrary() + "\n");

    TRunOutcome run = RunUpdate(layout);

    const std::vector<std::string> lines = run.RunLines();
    EXPECT_EQ(Slice(lines, 0, 9), Preamble(layout, "Patch DLL: Local"));
    EXPECT_THAT(lines, Contains("There are 4 files to update."));
    EXPECT_THAT(lines, Contains("Patch group: MAIN []"));
    EXPECT_THAT(Tail(lines, 3), ElementsAre(" ", " ", kSuccess));
    EXPECT_THAT(run.Boxes, testing::IsEmpty());
    ExpectUpdatedTrees(layout);
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
    // The engine the start unpacked beside the program is gone with it.
    EXPECT_FALSE(FileExists(layout.UpdateDir() + "PATCHW32.DLL"));
    EXPECT_TRUE(FileExists(layout.UpdateDir() + "PATCHW32.mzp"));
}

TEST(PatchRun, ACombinedUpdateExtractsThenPatches) {
    TUpdateLayout layout("e2e-combined");
    LayOutTrees(layout);
    layout.Source("files/New.dat", "new tables");
    layout.BuildPackage("version: 01.23.00.00\nfile: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n"
                        "patch-old: old\npatch-new: new\nengine: " + EngineLibrary() + "\n");

    TRunOutcome run = RunUpdate(layout);

    const std::vector<std::string> lines = run.RunLines();
    EXPECT_THAT(Slice(lines, 0, 3),
                ElementsAre(" ", "Extracted - " + layout.InstallDir() + "Tables\\New.dat", " "));
    EXPECT_EQ(Slice(lines, 3, 9), Preamble(layout, "Patch DLL: Local"));
    EXPECT_THAT(Tail(lines, 3), ElementsAre(" ", " ", kSuccess));
    EXPECT_EQ(layout.Installed("Tables\\New.dat"), "new tables");
    ExpectUpdatedTrees(layout);
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
}

TEST(PatchRun, CancelDuringALongPatchLeavesEveryFileAsItWas) {
    TUpdateLayout layout("e2e-cancel");
    LayOutTrees(layout);
    // One large file keeps the engine busy long enough for a person to press Cancel.
    std::string big(24 << 20, '\0');
    std::mt19937 random(11);
    for (size_t i = 0; i + 4 <= big.size(); i += 4) {
        uint32_t r = random();
        memcpy(&big[i], &r, 4);
    }
    layout.Install("Data\\big.dat", big);
    layout.Source("old/Data/big.dat", big);
    big[big.size() / 2] ^= 1;
    layout.Source("new/Data/big.dat", big);
    big.clear();
    layout.Source("files/New.dat", "new tables");
    layout.BuildPackage("version: 01.23.00.00\nfile: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n"
                        "patch-old: old\npatch-new: new\nengine: " + EngineLibrary() + "\n");
    DeleteFileA((layout.SourceDir() + "new\\Data\\big.dat").c_str());
    const auto before = layout.FilesOutsideUpdateDir();

    TRunOptions options;
    options.PressCancel = true;
    TRunOutcome run = RunUpdate(layout, options);

    ASSERT_TRUE(run.CancelPressed);
    EXPECT_THAT(Tail(run.RunLines(), 2), ElementsAre(" ", "ORU Parcelon update aborted"));
    EXPECT_THAT(run.BoxTexts(), ElementsAre("Patch was aborted."));
    // The extracted file is the only change; the engine undid all of its own.
    auto after = layout.FilesOutsideUpdateDir();
    EXPECT_EQ(after.erase("Apps/Parcelon/Tables/New.dat"), 1u);
    EXPECT_TRUE(after == before) << "the installation changed";
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
}

// A file that is neither the old nor the new version: the installation is not the
// one the patch is for, and the engine changes nothing.
TEST(PatchRun, AFileNeitherOldNorNewFailsTheRunAndChangesNothing) {
    TUpdateLayout layout("e2e-unapplicable");
    LayOutTrees(layout);
    layout.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\nengine: " + EngineLibrary() + "\n");
    layout.Install("Data\\tables.dat", "edited by the user");
    const auto before = layout.FilesOutsideUpdateDir();

    TRunOutcome run = RunUpdate(layout);

    EXPECT_THAT(run.BoxTexts(), ElementsAre("Fatal .RTPatch error : 32772"));
    EXPECT_THAT(Tail(run.RunLines(), 2), ElementsAre(" ", "ORU Parcelon update failed"));
    EXPECT_TRUE(layout.FilesOutsideUpdateDir() == before) << "the installation changed";
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
}

TEST(PatchRun, AMissingGroupFolderIsTheInstallationForUnibrookOnly) {
    // The Unibrook group's folder does not exist: its files are taken from the
    // installation folder itself.
    TUpdateLayout layout("e2e-group");
    layout.Install("unibrook.dll", "UB old");
    layout.Source("old/Unibrook/unibrook.dll", "UB old");
    layout.Source("new/Unibrook/unibrook.dll", "UB new");
    layout.Source("old/parcelon.exe", "MZ old program");
    layout.Source("new/parcelon.exe", "MZ new program");
    layout.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\n"
                        "patch-group: MAIN=.\npatch-group: UNIBROOK=Unibrook=Unibrook job tools\n"
                        "engine: " + EngineLibrary() + "\n");
    TRunOutcome run = RunUpdate(layout);
    const std::vector<std::string> lines = run.RunLines();
    EXPECT_THAT(lines, Contains("Patch group missing: UNIBROOK [Unibrook job tools]"));
    EXPECT_THAT(lines, Contains("Patch group path:    " + layout.InstallDir()));
    EXPECT_THAT(Tail(lines, 1), ElementsAre(kSuccess));
    EXPECT_EQ(layout.Installed("unibrook.dll"), "UB new");
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");

    // Any other missing group means the installation is not the one the patch is for.
    TUpdateLayout other("e2e-group");
    other.Source("old/Extras/extra.dat", "x old");
    other.Source("new/Extras/extra.dat", "x new");
    other.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\npatch-group: EXTRAS=Extras\n"
                       "engine: " + EngineLibrary() + "\n");
    TRunOutcome refused = RunUpdate(other);
    EXPECT_THAT(refused.RunLines(), Contains("Invalid ORU Parcelon installation."));
    EXPECT_THAT(Tail(refused.RunLines(), 2), ElementsAre(" ", "ORU Parcelon update aborted"));
    EXPECT_THAT(refused.BoxTexts(), ElementsAre("Patch was aborted."));
}

TEST(PatchRun, WithoutAnEngineArchiveTheSystemFoldersEngineIsUsed) {
    const std::string systemEngine = SystemFolder() + "patchw32.dll";
    ASSERT_FALSE(FileExists(systemEngine)) << "left over from an earlier run";

    // None there: the system's text, then the run fails.
    TUpdateLayout missing("e2e-sysdll");
    LayOutTrees(missing);
    missing.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\n");
    TRunOutcome failed = RunUpdate(missing);
    EXPECT_EQ(Slice(failed.RunLines(), 0, 9), Preamble(missing, "Patch DLL: " + systemEngine));
    EXPECT_THAT(Tail(failed.RunLines(), 2), ElementsAre(" ", "ORU Parcelon update failed"));
    ASSERT_EQ(failed.Boxes.size(), 1u);
    EXPECT_THAT(failed.Boxes[0].Text, HasSubstr(systemEngine));
    EXPECT_THAT(failed.Boxes[0].Text, HasSubstr("(126)"));
    EXPECT_EQ(missing.Installed("parcelon.exe"), "MZ old program");

    // Installed there: it does the work.
    ASSERT_TRUE(CopyFileA(EngineLibrary().c_str(), systemEngine.c_str(), TRUE));
    TUpdateLayout layout("e2e-sysdll");
    LayOutTrees(layout);
    layout.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\n");
    TRunOutcome run = RunUpdate(layout);
    DeleteFileA(systemEngine.c_str());
    EXPECT_EQ(Slice(run.RunLines(), 0, 9), Preamble(layout, "Patch DLL: " + systemEngine));
    EXPECT_THAT(Tail(run.RunLines(), 1), ElementsAre(kSuccess));
    ExpectUpdatedTrees(layout);
}

} // namespace
