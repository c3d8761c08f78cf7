// Update runs end to end with the real program, package, engine and installation:
// a start whose check fails, an archive run, a patch run with the engine from the
// system folder, Cancel with the engine from the package, after which the
// installation is byte for byte as before, and a run killed in its patch step, which
// the next run puts right; and the program file's own description.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"
#include "support/Noise.h"
#include "support/TestArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace oru;
using namespace oru::test;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

const std::string kSuccess = "ORU Parcelon is updated to version 01.23.00.00.";
const std::string kPatchManifest = "version: 01.23.00.00\npatch-old: old\npatch-new: new\n";

// Each check's message is the start's own test; here one stop as the user meets it:
// a package whose engine archive holds no engine.
TEST(Start, AFailedCheckStopsWithItsMessageAndLeavesEverythingAsItWas) {
    const std::string winFile = "oru-e2e-start-" + std::to_string(GetCurrentProcessId()) + ".ini";
    TUpdateLayout layout("e2e-start");
    layout.Source("files/win.ini", "windows");
    layout.Source("old/parcelon.exe", "MZ old program");
    layout.Source("new/parcelon.exe", "MZ new program");
    layout.BuildPackage("version: 01.23.00.00\n"
                        "file: <INSTALLDIR>;1 Tables\\New.dat = files/win.ini\n"
                        "file: <WINDIR>;1 " + winFile + " = files/win.ini\n"
                        "patch-old: old\npatch-new: new\nengine: " + EngineLibrary() + "\n");
    layout.PackageFile("PATCHW32.mzp", ZipOf({{"readme.txt", "engine notes"}})); // no engine in it
    const auto before = layout.FilesOutsideUpdateDir();

    TRunOutcome run = RunUpdate(layout);

    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, DWORD(ExitStartAbandoned));
    EXPECT_FALSE(run.WindowShown);
    ASSERT_EQ(run.Boxes.size(), 1u);
    EXPECT_EQ(run.Boxes[0].Text, "The RTPatchW32 DLL is missing.");
    EXPECT_EQ(run.Boxes[0].Title, "ORU Update");
    ASSERT_EQ(run.Boxes[0].Buttons.size(), 2u);
    EXPECT_EQ(PlainCaption(run.Boxes[0].Buttons[1]), "Help");
    EXPECT_EQ(layout.FilesOutsideUpdateDir(), before);
    EXPECT_FALSE(FileExists(WindowsFolder() + winFile));
    // What the engine archive held was unpacked for the start and is gone again.
    EXPECT_FALSE(FileExists(layout.UpdateDir() + "readme.txt"));
}

TEST(Start, TheProgramDescribesItselfAndIsAWindowedProgramWithItsIcon) {
    const std::string exe = UpdateProgram();
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    const std::pair<const char*, const char*> fields[] = {
        {"FileDescription", "ORU Update Program"}, {"FileVersion", "04.01.01.51"},
        {"ProductVersion", "4.1"},                 {"InternalName", "ORUUpdate"},
        {"OriginalFilename", "ORUUpdate"},         {"CompanyName", "Oru Software"}};
    for (const auto& [name, value] : fields) {
        char* text = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
        ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&text),
                                   &length))
            << name;
        EXPECT_STREQ(text, value);
    }
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14)), nullptr); // RT_GROUP_ICON
    FreeLibrary(module);

    const std::string image = ReadWholeFile(exe);
    const auto peOffset = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + peOffset);
    EXPECT_EQ(headers->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(ArchiveRun, ATypicalUpdatePutsTheFilesInPlaceAndShowsTheNotice) {
    TUpdateLayout layout("e2e-typical");
    layout.Source("files/Deep.dat", "deep");
    layout.Source("files/parcelon.exe", "MZ new program");
    layout.BuildPackage("version: 01.23.00.00\nnotice: 100\n"
                        "notice-line: Please start Parcelon once\nnotice-line:  before you print.\n"
                        "file: <INSTALLDIR>;1 Tables\\Sub\\Deep.dat = files/Deep.dat\n"
                        "file: <INSTALLDIR>;1 parcelon.exe = files/parcelon.exe\n");

    TRunOutcome run = RunUpdate(layout);

    const std::string install = layout.InstallDir();
    EXPECT_THAT(run.BoxTexts(), ElementsAre("Please start Parcelon once before you print."));
    EXPECT_THAT(run.RunLines(),
                ElementsAre("Extracted - " + install + "Tables\\Sub\\Deep.dat",
                            "Extracted - " + install + "parcelon.exe", " ", kSuccess));
    EXPECT_EQ(layout.Installed("Tables\\Sub\\Deep.dat"), "deep");
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");
    EXPECT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
}

// An installation of three files and the trees a patch is made from: the program
// and the tables change, a file is added, one goes.
void LayOutTrees(const TUpdateLayout& layout) {
    layout.Install("Data\\tables.dat", "ZIP;CITY\r\n");
    layout.Install("Data\\old.dat", "obsolete");
    layout.Source("old/parcelon.exe", "MZ old program");
    layout.Source("old/Data/tables.dat", "ZIP;CITY\r\n");
    layout.Source("old/Data/old.dat", "obsolete");
    layout.Source("new/parcelon.exe", "MZ new program");
    layout.Source("new/Data/tables.dat", "ZIP;CITY\r\n54321;SHELBYVILLE\r\n");
    layout.Source("new/Data/added.dat", "added");
}

void ExpectUpdatedTrees(const TUpdateLayout& layout) {
    EXPECT_EQ(layout.Installed("parcelon.exe"), "MZ new program");
    EXPECT_EQ(layout.Installed("Data\\tables.dat"), "ZIP;CITY\r\n54321;SHELBYVILLE\r\n");
    EXPECT_EQ(layout.Installed("Data\\added.dat"), "added");
    EXPECT_EQ(layout.Installed("Data\\old.dat"), "<missing>");
}

std::string LastLine(const TRunOutcome& run) {
    return run.History.empty() ? "" : run.History.back();
}

TEST(PatchRun, CancelDuringALongPatchLeavesEveryFileAsItWas) {
    TUpdateLayout layout("e2e-cancel");
    LayOutTrees(layout);
    // One large file keeps the engine busy long enough for a person to press Cancel.
    std::string big = Noise(24 << 20, 11);
    layout.Install("Data\\big.dat", big);
    layout.Source("old/Data/big.dat", big);
    big[big.size() / 2] ^= 1;
    layout.Source("new/Data/big.dat", big);
    layout.Source("files/New.dat", "new tables");
    layout.BuildPackage(kPatchManifest + "file: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n" +
                        "engine: " + EngineLibrary() + "\n");
    const auto before = layout.FilesOutsideUpdateDir();

    TRunOptions options;
    options.PressCancel = true;
    TRunOutcome run = RunUpdate(layout, options);

    ASSERT_TRUE(run.CancelPressed);
    EXPECT_THAT(run.RunLines(), Contains("Patch DLL: Local"));
    EXPECT_EQ(LastLine(run), "ORU Parcelon update aborted");
    EXPECT_THAT(run.BoxTexts(), ElementsAre("Patch was aborted."));
    // The extracted file is the only change; the engine undid all of its own.
    auto after = layout.FilesOutsideUpdateDir();
    EXPECT_EQ(after.erase("Apps/Parcelon/Tables/New.dat"), 1u);
    EXPECT_TRUE(after == before) << "the installation changed";
    // The engine the start unpacked beside the program is gone with it.
    EXPECT_FALSE(FileExists(layout.UpdateDir() + "PATCHW32.DLL"));
}

// Without an engine archive the engine in the system folder does the work; the
// Unibrook group's folder does not exist, so its files are taken from the
// installation folder itself.
TEST(PatchRun, TheSystemFoldersEngineAndAMissingUnibrookFolderIsTheInstallation) {
    const std::string systemEngine = SystemFolder() + "patchw32.dll";
    ASSERT_TRUE(CopyFileA(EngineLibrary().c_str(), systemEngine.c_str(), TRUE))
        << "left over from an earlier run?";
    TUpdateLayout layout("e2e-sysdll");
    LayOutTrees(layout);
    layout.Install("unibrook.dll", "UB old");
    layout.Source("old/Unibrook/unibrook.dll", "UB old");
    layout.Source("new/Unibrook/unibrook.dll", "UB new");
    layout.BuildPackage(kPatchManifest +
                        "patch-group: MAIN=.\npatch-group: UNIBROOK=Unibrook=Unibrook job tools\n");
    TRunOutcome run = RunUpdate(layout);
    DeleteFileA(systemEngine.c_str());
    EXPECT_THAT(run.RunLines(), Contains("Patch DLL: " + systemEngine));
    EXPECT_THAT(run.RunLines(), Contains("Patch group path:    " + layout.InstallDir()));
    EXPECT_EQ(LastLine(run), kSuccess);
    EXPECT_THAT(run.Boxes, IsEmpty());
    EXPECT_EQ(layout.Installed("unibrook.dll"), "UB new");
    ExpectUpdatedTrees(layout);
}

struct TVersions {
    std::string Old, New;
};

bool Present(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    return h != INVALID_HANDLE_VALUE && FindClose(h);
}

// Ended as the task manager, a log-off or a shutdown would: no file is left missing
// or cut short. The engine's own test kills a run at every step; this is the Windows
// build, killed once its swaps have begun.
TEST(InterruptedRun, AKilledPatchStepIsPutRightByTheNextRun) {
    // Patched, added and deleted files; the large table keeps the engine busy long
    // enough for the kill to land inside its work.
    std::string table = Noise(12 << 20, 1), newTable = table;
    for (size_t at = 4096; at < newTable.size(); at += 1 << 20)
        newTable.replace(at, 64, Noise(64, static_cast<unsigned>(at)));
    std::map<std::string, TVersions> files = {
        {"parcelon.exe", {"MZ old program", "MZ new program"}},
        {"Data\\tables.dat", {table, newTable}},
        {"Data\\old.dat", {"obsolete", ""}},
        {"Data\\added.dat", {"", "added"}},
        {"Help\\parcelon.hlp", {"old help", "new help"}},
    };
    for (int i = 0; i < 40; ++i) {
        const std::string county = "county " + std::to_string(i);
        files["Data\\county" + std::to_string(i) + ".dat"] = {county, county + " v2"};
    }
    TUpdateLayout layout("e2e-killed");
    for (const auto& [name, v] : files) {
        if (!v.Old.empty())
            layout.Install(name, v.Old);
        for (const auto& [tree, bytes] : {std::pair{"old/", v.Old}, {"new/", v.New}})
            if (!bytes.empty())
                layout.Source(tree + name, bytes);
    }
    layout.BuildPackage(kPatchManifest + "engine: " + EngineLibrary() + "\n");

    // The first old file has been kept as a backup: the swaps have begun.
    TRunOptions killed;
    killed.KillWhen = [&] { return Present(layout.InstallDir() + "Data\\*.~oru-old"); };
    ASSERT_TRUE(RunUpdate(layout, killed).Killed) << "the patch step never began";
    // Each file wholly old or wholly new; a file only one version has may be absent.
    for (const auto& [name, v] : files) {
        const std::string now = layout.Installed(name);
        const bool mayBeMissing = v.Old.empty() || v.New.empty();
        EXPECT_TRUE(now == v.Old || now == v.New || (now == "<missing>" && mayBeMissing)) << name;
    }
    ASSERT_TRUE(FileExists(layout.InstallDir() + "ORUPATCH.~oru-journal"))
        << "the kill came after the patch step";

    TRunOutcome again = RunUpdate(layout);

    EXPECT_TRUE(again.Ended);
    EXPECT_THAT(again.History, Contains(StartsWith("An interrupted update was found and ")));
    EXPECT_THAT(again.History, Contains(kSuccess));
    for (const auto& [name, v] : files)
        EXPECT_EQ(layout.Installed(name), v.New.empty() ? "<missing>" : v.New) << name;
    // Nothing of the killed run is left: no journal, backup or temporary.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(layout.InstallDir())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("~oru"), std::string::npos) << entry.path().string();
    }
}

} // namespace
