// The start of an update as the user meets it: the checks of the installation and
// the package, each reported in its own words, and nothing written outside the
// update folder when the start stops; and the program file's own description.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"
#include "support/TestArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kWinFile = "oru-e2e-start-" + std::to_string(GetCurrentProcessId()) + ".ini";

// A complete package: an archive with a member for every folder, a patch and the engine.
void BuildFullPackage(TUpdateLayout& layout) {
    layout.Source("files/New.dat", "new tables");
    layout.Source("files/win.ini", "windows");
    layout.Source("old/parcelon.exe", "MZ old program");
    layout.Source("new/parcelon.exe", "MZ new program");
    layout.BuildPackage("version: 01.23.00.00\n"
                        "file: <INSTALLDIR>;1 Tables\\New.dat = files/New.dat\n"
                        "file: <WINDIR>;1 " + kWinFile + " = files/win.ini\n"
                        "file: <TEMP>;1 " + kWinFile + " = files/win.ini\n"
                        "patch-old: old\npatch-new: new\n"
                        "engine: " + EngineLibrary() + "\n");
}

struct StopCase {
    const char* name;
    std::function<void(TUpdateLayout&)> spoil;
    std::string box;
};

TEST(Start, EachCheckStopsWithItsMessageAndLeavesEverythingAsItWas) {
    const StopCase cases[] = {
        {"no executable", [](TUpdateLayout& l) { DeleteFileA((l.InstallDir() + "parcelon.exe").c_str()); },
         "The ORU Parcelon executable was not located.\rThe update could not be performed."},
        {"no version file", [](TUpdateLayout& l) { DeleteFileA((l.UpdateDir() + "ORU.VER").c_str()); },
         "ORU Parcelon update archive is missing configuration file."},
        {"no update archive", [](TUpdateLayout& l) { DeleteFileA((l.UpdateDir() + "ORU.mcu").c_str()); },
         "The ORU Parcelon update archive is missing"},
        {"no patch archive", [](TUpdateLayout& l) { DeleteFileA((l.UpdateDir() + "ORU.rtp").c_str()); },
         "The ORU Parcelon patch archive is missing"},
        {"no engine in its archive",
         [](TUpdateLayout& l) { l.PackageFile("PATCHW32.mzp", ZipOf({{"readme.txt", "engine notes"}})); },
         "The RTPatchW32 DLL is missing."},
        {"count line no number",
         [](TUpdateLayout& l) { l.PackageFile("ORU.VER", "01.23.00.00\r\nY\r\nY\r\nY\r\n100\r\nmany\r\n"); },
         "The ORU Parcelon update archive is missing"},
        {"corrupt update archive", [](TUpdateLayout& l) { l.PackageFile("ORU.mcu", "this is no archive\r\n"); },
         "The ORU Parcelon update archive is corrupt\r\r'ORU.mcu' is not a valid ZIP archive"},
        {"neither executable nor version file",
         [](TUpdateLayout& l) {
             DeleteFileA((l.InstallDir() + "parcelon.exe").c_str());
             DeleteFileA((l.UpdateDir() + "ORU.VER").c_str());
         },
         "The ORU Parcelon executable was not located.\rThe update could not be performed."},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        TUpdateLayout layout("e2e-start");
        BuildFullPackage(layout);
        c.spoil(layout);
        const auto before = layout.FilesOutsideUpdateDir();

        TRunOutcome run = RunUpdate(layout);

        ASSERT_TRUE(run.Ended);
        EXPECT_EQ(run.ExitCode, DWORD(ExitStartAbandoned));
        EXPECT_EQ(run.WindowTitle, "");
        ASSERT_EQ(run.Boxes.size(), 1u);
        EXPECT_EQ(run.Boxes[0].Text, c.box);
        EXPECT_EQ(run.Boxes[0].Title, "ORU Update");
        ASSERT_EQ(run.Boxes[0].Buttons.size(), 2u);
        EXPECT_EQ(PlainCaption(run.Boxes[0].Buttons[1]), "Help");
        EXPECT_EQ(layout.FilesOutsideUpdateDir(), before);
        EXPECT_FALSE(FileExists(WindowsFolder() + kWinFile));
        EXPECT_FALSE(FileExists(TempFolder() + kWinFile));
        // Whatever the engine archive held was unpacked for the start and is gone again.
        EXPECT_FALSE(FileExists(layout.UpdateDir() + "PATCHW32.DLL"));
        EXPECT_FALSE(FileExists(layout.UpdateDir() + "readme.txt"));
    }
}

TEST(Start, AnEmptyVersionFileShowsTheWindowWithNothingToDo) {
    TUpdateLayout layout("e2e-empty");
    BuildFullPackage(layout);
    layout.PackageFile("ORU.VER", "");
    const auto before = layout.FilesOutsideUpdateDir();

    TRunOutcome run = RunUpdate(layout);

    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.WindowTitle, "ORU Parcelon Update");
    EXPECT_TRUE(run.DoneOffered);
    EXPECT_THAT(run.Boxes, IsEmpty());
    ASSERT_FALSE(run.History.empty());
    EXPECT_EQ(run.History.back(), " **********  Update to version     **********");
    EXPECT_THAT(run.RunLines(), IsEmpty());
    EXPECT_EQ(run.ExitCode, DWORD(ExitCompleted));
    EXPECT_EQ(layout.FilesOutsideUpdateDir(), before);
}

std::string VersionString(const std::vector<char>& data, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value)
        return "<none>";
    return std::string(value, length > 0 ? length - 1 : 0);
}

TEST(Start, TheProgramDescribesItselfAndIsAWindowedProgramWithItsIcon) {
    const std::string exe = UpdateProgram();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, data.data()));
    const std::pair<const char*, const char*> fields[] = {
        {"FileDescription", "ORU Update Program"}, {"FileVersion", "04.01.01.51"},
        {"ProductVersion", "4.1"},                 {"InternalName", "ORUUpdate"},
        {"OriginalFilename", "ORUUpdate"},         {"CompanyName", "Oru Software"}};
    for (const auto& [name, value] : fields)
        EXPECT_EQ(VersionString(data, name), value) << name;

    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14)), nullptr); // RT_GROUP_ICON
    FreeLibrary(module);

    const std::string image = ReadWholeFile(exe);
    ASSERT_GT(image.size(), 0x200u);
    const auto peOffset = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + peOffset);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

} // namespace
