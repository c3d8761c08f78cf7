#include <windows.h>
#include <commctrl.h>

#include "ui/Application.h"

#include "ui/MessageDlg.h"

#include "platform/SysUtils.h"

#include <algorithm>

namespace oru {

TApplication::TApplication()
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    std::string exe = ExeName();
    size_t slash = exe.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    size_t dot = name.rfind('.');
    title_ = dot == std::string::npos ? name : name.substr(0, dot);
}

// The application window is not destroyed: forms made outside CreateForm may still
// be owned by it, and destroying an owner destroys what it owns behind their backs.
// The process's end takes it.
TApplication::~TApplication() { DestroyForms(); }

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    if (handle_)
        SetWindowTextA(handle_, title_.c_str());
}

HWND TApplication::Handle()
{
    if (handle_)
        return handle_;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    constexpr const char* className = "OruApplication";
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TApplication::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "MAINICON");
    if (!wc.hIcon)
        wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.lpszClassName = className;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EOSError("Cannot register the application window class", GetLastError());
    // Without a size it has nothing to draw: only its task bar entry is seen.
    handle_ = CreateWindowExA(0, className, title_.c_str(), WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, instance, nullptr);
    if (!handle_)
        throw EOSError("Cannot create the application window", GetLastError());
    return handle_;
}

void TApplication::ShowHandle()
{
    HWND hwnd = Handle();
    if (!IsWindowVisible(hwnd))
        ShowWindow(hwnd, SW_SHOWNA);
}

void TApplication::Minimize()
{
    HWND hwnd = Handle();
    if (IsIconic(hwnd))
        return;
    ShowOwnedPopups(hwnd, FALSE);
    ShowWindow(hwnd, SW_MINIMIZE);
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SETFOCUS: {
        // Activated from the task bar or Alt+Tab: the form the user last worked in
        // takes over.
        HWND popup = GetLastActivePopup(hwnd);
        if (popup && popup != hwnd && IsWindowVisible(popup) && IsWindowEnabled(popup)) {
            SetForegroundWindow(popup);
            return 0;
        }
        break;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_RESTORE && IsIconic(hwnd)) {
            LRESULT result = DefWindowProcA(hwnd, msg, wParam, lParam);
            ShowOwnedPopups(hwnd, TRUE);
            if (HWND popup = GetLastActivePopup(hwnd); popup && popup != hwnd)
                SetForegroundWindow(popup);
            return result;
        }
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Application().Minimize();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Closing from the task bar is closing the main form, with its own checks.
        if (TForm* main = Application().MainForm()) {
            main->Close();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form)
{
    if (!mainForm_)
        mainForm_ = form.get();
    forms_.push_back(std::move(form));
}

void TApplication::Run()
{
    if (terminated_)
        return;
    if (showMainForm_ && mainForm_)
        mainForm_->Show();
    while (!terminated_) {
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            terminated_ = true;
            break;
        }
        DispatchOne(msg);
    }
}

void TApplication::Terminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    // Wake a loop that waits in GetMessage so that it sees the flag. A quit message
    // would outlive the loop and end the next one (a later modal form) at once.
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        DispatchOne(msg);
    }
}

void TApplication::DispatchOne(MSG& msg)
{
    // Handlers run from here, not from a window procedure, so this is where their
    // exceptions end.
    try {
        if (TForm* form = TForm::FromWindow(msg.hwnd); form && form->HandleDialogMessage(msg))
            return;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    } catch (const std::exception& e) {
        HandleException(e);
    }
}

std::string TApplication::ExeName() const
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void TApplication::HelpContext(int context)
{
    if (OnHelp && OnHelp(context))
        return;
    if (helpFile_.empty())
        return;
    HWND owner = mainForm_ ? mainForm_->Handle() : GetActiveWindow();
    // A help system that is missing or fails has nothing useful to tell the user.
    WinHelpA(owner, helpFile_.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(context));
}

void TApplication::HandleException(const std::exception& e)
{
    if (dynamic_cast<const EAbort*>(&e))
        return;
    try {
        MessageDlg(e.what(), TMsgDlgType::mtError, mbOK, 0);
    } catch (...) {
        // The handler of last resort must not raise itself.
    }
}

void TApplication::DestroyForms()
{
    // Later forms may belong to the main form's run; the main form goes last.
    while (!forms_.empty()) {
        auto it = std::find_if(forms_.rbegin(), forms_.rend(),
                               [this](const std::unique_ptr<TForm>& f) { return f.get() != mainForm_; });
        if (it == forms_.rend()) {
            mainForm_ = nullptr;
            forms_.clear();
            break;
        }
        std::unique_ptr<TForm> form = std::move(*it);
        forms_.erase(std::next(it).base());
        form.reset();
    }
}

TApplication& Application()
{
    static TApplication application;
    return application;
}

} // namespace oru
