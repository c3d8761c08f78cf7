// The demo's hands: starts ORUUpdate.exe on a sample installation, and when the run
// has ended (Done offered) writes the History and the window's place on the screen
// into a folder for the demo script, which takes its screenshot. Unattended, it also
// answers the boxes and presses Done once the screenshot is taken; attended, the
// user does both.
//
//   demo_driver UPDATE_EXE INSTALL_DIR SIGNAL_DIR [--unattended]
//
// Files in SIGNAL_DIR: history.txt and window.txt ("left top width height") from the
// driver, shot.done from the script. The exit status is the update program's.
#include <windows.h>

#include "support/ProcessDriver.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

using namespace oru::test;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: demo_driver UPDATE_EXE INSTALL_DIR SIGNAL_DIR [--unattended]\n");
        return 2;
    }
    const std::string exe = WindowsPath(argv[1]);
    const std::string installDir = WindowsPath(argv[2]);
    const std::string signals = WindowsPath(argv[3]) + "\\";
    const bool unattended = argc > 4 && std::string(argv[4]) == "--unattended";

    // The program takes the folder as a plain prefix: it must end with "\" (its
    // command line has no escapes, so the quote after it is safe).
    std::string folder = installDir;
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    TProcess process("\"" + exe + "\" \"" + folder + "\" -NV N -P 1");
    std::set<HWND> answered;
    bool reported = false;
    bool donePressed = false;
    const ULONGLONG deadline = GetTickCount64() + 5 * 60 * 1000;
    while (process.Running() && (!unattended || GetTickCount64() < deadline)) {
        if (unattended) {
            for (HWND box : ProcessWindows(process.Id(), "#32770")) {
                if (!answered.insert(box).second)
                    continue;
                TWindowInfo info = ReadWindow(box);
                std::printf("box: %s\n", info.Text.c_str());
                if (!PressButton(box, "OK"))
                    PressButton(box, "Cancel");
            }
        }
        const auto forms = ProcessWindows(process.Id(), "OruForm");
        HWND window = forms.empty() ? nullptr : forms.front();
        if (window && !reported && EnabledButton(window, "Done")) {
            std::string history;
            for (const std::string& line : ReadMemoLines(window))
                history += line + "\r\n";
            WriteText(signals + "history.txt", history);
            RECT r{};
            GetWindowRect(window, &r);
            WriteText(signals + "window.txt", std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                                                  std::to_string(r.right - r.left) + " " +
                                                  std::to_string(r.bottom - r.top) + "\n");
            reported = true;
        }
        if (unattended && reported && !donePressed &&
            GetFileAttributesA((signals + "shot.done").c_str()) != INVALID_FILE_ATTRIBUTES)
            donePressed = PressButton(window, "Done");
        Sleep(50);
    }
    DWORD code = 1;
    if (!process.WaitExit(10000, code))
        std::fprintf(stderr, "the update program did not end\n");
    return static_cast<int>(code);
}
