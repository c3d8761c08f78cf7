// Drives another Windows program the way a user would: starts it, finds its
// windows, reads their texts and buttons, presses buttons by caption, and collects
// the exit status. Used by the tests that run the real programs and by the demo's
// driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace oru::test {

// A started process; one still running when the object goes is terminated.
class TProcess {
  public:
    // commandLine is passed to the system as it stands (quote the program yourself).
    // With outputFile, a console program runs without a window and its standard
    // output and error go to that file.
    TProcess(const std::string& commandLine, const std::string& currentDir = "",
             const std::string& outputFile = "");
    ~TProcess();
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    DWORD Id() const { return id_; }
    // True when the process ended within the time; exitCode receives its status.
    bool WaitExit(DWORD timeoutMs, DWORD& exitCode);
    bool Running();
    // Ends the process at once, as the task manager or a log-off does.
    void Kill();

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

struct TWindowInfo {
    std::string Title;
    // The message text of a dialog: its static controls' texts joined by "\n".
    std::string Text;
    // Push button captions in window order, as written (mnemonic "&" kept).
    std::vector<std::string> Buttons;
};

// Visible top-level windows of a process, of the class when one is given.
std::vector<HWND> ProcessWindows(DWORD pid, const std::string& className = "");
TWindowInfo ReadWindow(HWND window);
// The lines of the window's first multi-line edit, asked by message (the program
// must be in its message loop to answer).
std::vector<std::string> ReadMemoLines(HWND window);
// The caption without mnemonic markers ("&Done" -> "Done").
std::string PlainCaption(const std::string& caption);
// Presses the child push button whose caption (markers removed, case ignored) is
// the given one; false when there is no such button.
bool PressButton(HWND window, const std::string& caption);
// That push button when it is enabled; null when it is disabled or missing.
HWND EnabledButton(HWND window, const std::string& caption);
// A POSIX absolute path as Wine shows it to programs (Z: maps to /); other paths unchanged.
std::string WindowsPath(const std::string& path);

} // namespace oru::test
