// The start of an update as the user meets it: a failed check stops with its box
// and nothing is written outside the update folder; and the program file's own
// description.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "app/ExitStatus.h"
#include "support/TestArchive.h"

#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;

namespace {

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

} // namespace
