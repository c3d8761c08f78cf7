// Drives modal loops from inside: a thread timer runs one step per tick on the
// test's own thread, so a step may click, post keys or close a message box while
// ShowModal or MessageBoxA waits. Also finds the thread's message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace oru::test {

class TimerScript {
  public:
    explicit TimerScript(std::vector<std::function<void()>> steps, UINT intervalMs = 20);
    ~TimerScript();
    TimerScript(const TimerScript&) = delete;
    TimerScript& operator=(const TimerScript&) = delete;

    // How many steps have started.
    size_t StepsStarted() const { return next_; }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::vector<std::function<void()>> steps_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
};

// The first visible message box (#32770) of the calling thread; null if none.
HWND FindThreadMessageBox();
// The text shown in a message box.
std::string MessageBoxText(HWND box);
// Posts a key press (WM_KEYDOWN) to a window, as if it had the focus. Tests name
// the window: parallel test processes share one desktop and can take the focus.
void PostKey(HWND target, WPARAM key);
// The visible form window of the calling thread with this caption; null if none.
HWND FindThreadForm(const std::string& caption);

} // namespace oru::test
