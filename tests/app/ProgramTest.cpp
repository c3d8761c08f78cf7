// Runs the real ORUUpdate.exe in its own process and answers its boxes.
#include <windows.h>

#include "ProcessDriver.h"
#include "TestPackage.h"
#include "app/ExitStatus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace oru;
using namespace oru::test;

namespace {

constexpr DWORD kWait = 30000;

// A copy of the program in a folder of its own: the package lies beside it.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        exe = updateDir + "ORUUpdate.exe";
        ASSERT_TRUE(CopyFileA(WindowsPath(ORU_UPDATE_EXE).c_str(), exe.c_str(), FALSE))
            << GetLastError();
    }
    std::string Command(const std::string& args) const { return "\"" + exe + "\" " + args; }
    void Package(const std::string& file, const std::string& bytes) {
        WriteBytes(updateDir + file, bytes);
    }

    // Waits for the program's box, checks it and presses OK.
    TWindowInfo AnswerBox(TProcess& process) {
        HWND box = WaitForDialog(process.Id(), kWait, "ORU Update");
        if (!box)
            return {};
        TWindowInfo info = ReadWindow(box);
        EXPECT_TRUE(PressButton(box, "OK"));
        return info;
    }
    DWORD ExitCode(TProcess& process) {
        DWORD code = 12345;
        EXPECT_TRUE(process.WaitExit(kWait, code)) << "the program did not end";
        return code;
    }

    TScratchFolder root{"program"};
    std::string updateDir = root.Sub("update");
    std::string exe;
};

TEST_F(ProgramTest, InvalidProductNumberEndsTheStartAfterItsBox) {
    TProcess process(Command("X -NV N -P abc"));
    const TWindowInfo box = AnswerBox(process);
    ASSERT_NE(box.Handle, nullptr) << "no box";
    EXPECT_EQ(box.Text, "An invalid Oru Software product type [abc] was passed to the update.");
    EXPECT_EQ(box.Buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(ExitCode(process), DWORD(ExitStartAbandoned));
}

TEST_F(ProgramTest, NoArgumentsReportTheMissingExecutableUnderTheTitle) {
    TProcess process(Command(""));
    HWND shown = WaitForDialog(process.Id(), kWait, "ORU Update");
    ASSERT_NE(shown, nullptr) << "no box";
    // The main form is never shown: the box is the program's only window.
    EXPECT_EQ(ProcessWindows(process.Id()), std::vector<HWND>{shown});
    const TWindowInfo box = AnswerBox(process);
    ASSERT_NE(box.Handle, nullptr) << "no box";
    EXPECT_EQ(box.Text,
              "The ORU Update executable was not located.\rThe update could not be performed.");
    ASSERT_EQ(box.Buttons.size(), 2u);
    EXPECT_EQ(box.Buttons[0], "OK");
    EXPECT_EQ(PlainCaption(box.Buttons[1]), "Help");
    EXPECT_EQ(ExitCode(process), DWORD(ExitStartAbandoned));
}

TEST_F(ProgramTest, UnpackedEngineFilesAreGoneAfterAStop) {
    const std::string installDir = root.Sub("Program Files\\Parcelon");
    WriteBytes(installDir + "parcelon.exe", "MZ");
    Package("ORU.VER", "1\r\nN\r\nY\r\n");
    Package("ORU.rtp", "patch");
    Package("PATCHW32.mzp", StoredZip({{"helper.dll", "h"}}));
    TProcess process(Command("\"" + installDir + "\" -NV N -P 1"));
    HWND box = WaitForDialog(process.Id(), kWait, "ORU Update");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadWindow(box).Text, "The RTPatchW32 DLL is missing.");
    EXPECT_TRUE(Exists(updateDir + "helper.dll"));
    PressButton(box, "OK");
    EXPECT_EQ(ExitCode(process), DWORD(ExitStartAbandoned));
    EXPECT_FALSE(Exists(updateDir + "helper.dll"));
}

TEST_F(ProgramTest, QuotedFolderWithTrailingBackslashReachesTheUpdateWindow) {
    const std::string installDir = root.Sub("Program Files\\Parcelon");
    WriteBytes(installDir + "parcelon.exe", "MZ");
    Package("ORU.VER", "01.23.00.00\r\nN\r\nN\r\n");
    TProcess process(Command("\"" + installDir + "\" -NV N -P 1"));
    HWND window = WaitForWindow(process.Id(), kWait, "", "ORU Parcelon Update");
    ASSERT_NE(window, nullptr) << "no update window";
    EXPECT_TRUE(ProcessWindows(process.Id(), "#32770").empty());
    // The task bar and Alt+Tab list the visible unowned windows that are not tool
    // windows: the program's one entry is the application's title, and the update
    // window hangs from it under its own caption.
    std::vector<std::string> listed;
    for (HWND w : ProcessWindows(process.Id()))
        if (!GetWindow(w, GW_OWNER) && !(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW))
            listed.push_back(ReadWindow(w).Title);
    EXPECT_EQ(listed, std::vector<std::string>{"ORU Update"});
    HWND owner = GetWindow(window, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(ReadWindow(owner).Title, "ORU Update");
    EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    // With nothing to apply, Done is offered after the window's pause.
    ASSERT_TRUE(WaitForButton(window, "Done", kWait));
    const TWindowInfo info = ReadWindow(window);
    EXPECT_NE(std::find(info.Buttons.begin(), info.Buttons.end(), "&Done"), info.Buttons.end());
    EXPECT_TRUE(PressButton(window, "Done"));
    EXPECT_EQ(ExitCode(process), DWORD(ExitCompleted));
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

TEST_F(ProgramTest, VersionRecordIconAndWindowedSubsystem) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, data.data()));
    EXPECT_EQ(VersionString(data, "FileDescription"), "ORU Update Program");
    EXPECT_EQ(VersionString(data, "FileVersion"), "04.01.01.51");
    EXPECT_EQ(VersionString(data, "ProductVersion"), "4.1");
    EXPECT_EQ(VersionString(data, "InternalName"), "ORUUpdate");
    EXPECT_EQ(VersionString(data, "OriginalFilename"), "ORUUpdate");
    EXPECT_EQ(VersionString(data, "CompanyName"), "Oru Software");

    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14)), nullptr); // RT_GROUP_ICON
    FreeLibrary(module);

    const std::string image = [&] {
        std::ifstream in(exe, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    ASSERT_GT(image.size(), 0x200u);
    const auto peOffset = *reinterpret_cast<const uint32_t*>(image.data() + 0x3C);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + peOffset);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

} // namespace
