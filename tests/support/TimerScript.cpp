#include <windows.h>

#include "support/TimerScript.h"

namespace oru::test {

namespace {

TimerScript* ActiveScript = nullptr;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param)
{
    char name[16] = {};
    GetClassNameA(hwnd, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

TimerScript::TimerScript(std::vector<std::function<void()>> steps, UINT intervalMs) : steps_(std::move(steps))
{
    ActiveScript = this;
    timer_ = SetTimer(nullptr, 0, intervalMs, &TimerScript::Tick);
}

TimerScript::~TimerScript()
{
    if (timer_)
        KillTimer(nullptr, timer_);
    ActiveScript = nullptr;
}

void CALLBACK TimerScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
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
    size_t index = script->next_++;
    script->steps_[index]();
}

HWND FindThreadMessageBox()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string MessageBoxText(HWND box)
{
    char text[1024] = {};
    // The message text is the static control with id 0xFFFF.
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void PostKey(HWND target, WPARAM key) { PostMessageA(target, WM_KEYDOWN, key, 1); }

namespace {

struct FormSearch {
    const std::string& caption;
    HWND found;
};

BOOL CALLBACK FindForm(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<FormSearch*>(param);
    char name[16] = {}, caption[256] = {};
    GetClassNameA(hwnd, name, sizeof name);
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (lstrcmpA(name, "OruForm") == 0 && IsWindowVisible(hwnd) && search->caption == caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindThreadForm(const std::string& caption)
{
    FormSearch search{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindForm, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace oru::test
