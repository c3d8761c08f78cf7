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

TApplication::~TApplication() { DestroyForms(); }

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
