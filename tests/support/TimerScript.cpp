#include <windows.h>

#include "support/TimerScript.h"

namespace oru::test {

namespace {

TimerScript* ActiveScript = nullptr;

struct WindowSearch {
    const char* className;
    const std::string* caption; // any caption when null
    HWND found;
};

BOOL CALLBACK FindWindowOfThread(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char name[16] = {}, caption[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (lstrcmpA(name, search->className) != 0 || !IsWindowVisible(hwnd) ||
        (search->caption && *search->caption != caption))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindThreadWindow(const char* className, const std::string* caption) {
    WindowSearch search{className, caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindWindowOfThread, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

TimerScript::TimerScript(std::vector<std::function<void()>> steps, UINT intervalMs)
    : steps_(std::move(steps)) {
    ActiveScript = this;
    timer_ = SetTimer(nullptr, 0, intervalMs, &TimerScript::Tick);
}

TimerScript::~TimerScript() {
    if (timer_)
        KillTimer(nullptr, timer_);
    ActiveScript = nullptr;
}

void CALLBACK TimerScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
    TimerScript* script = ActiveScript;
    if (!script)
        return;
    if (script->next_ >= script->steps_.size()) {
        KillTimer(nullptr, script->timer_);
        script->timer_ = 0;
        return;
    }
    // Counted before it runs: a step that blocks in a nested loop lets the next
    // tick run the following step.
    script->steps_[script->next_++]();
}

HWND FindThreadMessageBox() { return FindThreadWindow("#32770", nullptr); }

HWND FindThreadForm(const std::string& caption) { return FindThreadWindow("OruForm", &caption); }

std::string MessageBoxText(HWND box) {
    char text[1024] = {};
    // The message text is the static control with id 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void PostKey(HWND target, WPARAM key) { PostMessageA(target, WM_KEYDOWN, key, 1); }

} // namespace oru::test
