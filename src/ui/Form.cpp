#include <windows.h>

#include "ui/Form.h"

#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/ModalHook.h"

#include "platform/SysUtils.h"

#include <cctype>
#include <vector>

namespace oru {

namespace {

constexpr const char* FormClassName = "OruForm";
// No WS_CLIPCHILDREN: a group box paints only its frame and relies on the form
// painting beneath it.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD FormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

ATOM FormClassAtom = 0;

struct DisabledWindows {
    HWND keep;
    std::vector<HWND> windows;
};

// Named callback: on i686 a lambda cannot be a Win32 (stdcall) callback.
BOOL CALLBACK DisableThreadWindow(HWND hwnd, LPARAM param)
{
    auto* state = reinterpret_cast<DisabledWindows*>(param);
    if (hwnd != state->keep && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        state->windows.push_back(hwnd);
    }
    return TRUE;
}

bool IsEditWindow(HWND hwnd)
{
    char name[16] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return lstrcmpiA(name, "Edit") == 0;
}

} // namespace

TForm::TForm(const TFormArgs& args) : font_(std::make_unique<TFont>(args.FontName, args.FontPoints)),
                                      helpContext_(args.HelpContext)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!FormClassAtom) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TForm::WindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, "MAINICON");
        if (!wc.hIcon)
            wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = FormClassName;
        FormClassAtom = RegisterClassExA(&wc);
        if (!FormClassAtom)
            throw EOSError("Cannot register the form window class", GetLastError());
    }
    RECT r{0, 0, args.ClientWidth, args.ClientHeight};
    AdjustWindowRectEx(&r, FormStyle, FALSE, FormExStyle);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    // WM_NCCREATE binds the window to this object (see WindowProc).
    HWND hwnd = CreateWindowExA(FormExStyle, FormClassName, args.Caption.c_str(), FormStyle, left, top, width,
                                height, Application().Handle(), nullptr, instance, this);
    if (!hwnd)
        throw EOSError("Cannot create the window \"" + args.Caption + "\"", GetLastError());
}

TForm::~TForm()
{
    // Unbind first: messages sent while the controls and the window go must not
    // reach this half-destroyed object. The controls go while their parent exists.
    if (handle_)
        SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    controls_.clear();
    if (handle_)
        DestroyWindow(handle_);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* form = static_cast<TForm*>(cs->lpCreateParams);
        form->handle_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    // No C++ exception may unwind through the system's frames: report it here, as
    // the message loop would.
    try {
        return form->OnMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        Application().HandleException(e);
        return 0;
    }
}

LRESULT TForm::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (lParam) {
            HWND from = reinterpret_cast<HWND>(lParam);
            if (TControl* control = ControlOf(from))
                control->OnCommand(from, HIWORD(wParam));
            return 0;
        }
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HWND from = reinterpret_cast<HWND>(lParam);
        if (TControl* control = ControlOf(from))
            if (HBRUSH brush = control->OnCtlColor(from, reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
        break;
    }
    case WM_CLOSE:
        Close();
        return 0;
    case WM_ACTIVATE:
        // Keep the focused control across deactivation, as dialogs do.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus))
                lastFocus_ = focus;
        } else if (!IsIconic(handle_)) {
            if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_))
                ::SetFocus(lastFocus_);
            else
                FocusFirstControl();
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Application().Minimize();
            return 0;
        }
        break;
    case WM_HELP:
        if (helpContext_ != 0) {
            Application().HelpContext(helpContext_);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(handle_, msg, wParam, lParam);
}

LRESULT TForm::Perform(UINT msg, WPARAM wParam, LPARAM lParam) { return SendMessageA(handle_, msg, wParam, lParam); }

TForm* TForm::FromWindow(HWND hwnd)
{
    if (!hwnd || !FormClassAtom)
        return nullptr;
    HWND root = GetAncestor(hwnd, GA_ROOT);
    if (!root || GetClassLongPtrA(root, GCW_ATOM) != FormClassAtom)
        return nullptr;
    return reinterpret_cast<TForm*>(GetWindowLongPtrA(root, GWLP_USERDATA));
}

std::string TForm::Caption() const
{
    int length = GetWindowTextLengthA(handle_);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(handle_, text.data(), length + 1)));
    return text;
}

void TForm::SetCaption(const std::string& caption) { SetWindowTextA(handle_, caption.c_str()); }

int TForm::ClientWidth() const
{
    RECT r{};
    GetClientRect(handle_, &r);
    return r.right;
}

int TForm::ClientHeight() const
{
    RECT r{};
    GetClientRect(handle_, &r);
    return r.bottom;
}

void TForm::SetClientSize(int width, int height)
{
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, FormStyle, FALSE, FormExStyle);
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    SetWindowPos(handle_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2,
                 w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TForm::Visible() const { return IsWindowVisible(handle_) != FALSE; }

void TForm::Show()
{
    if (!Visible()) {
        OnShow();
        Application().ShowHandle();
        ShowWindow(handle_, SW_SHOW);
    }
    SetForegroundWindow(handle_);
    HWND focus = GetFocus();
    if (!focus || !IsChild(handle_, focus))
        FocusFirstControl();
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

void TForm::Close()
{
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery())
        return;
    TCloseAction action = TCloseAction::caHide;
    OnClose(action);
    if (action == TCloseAction::caNone)
        return;
    if (Application().MainForm() == this)
        Application().Terminate();
    else
        Hide();
}

bool TForm::EndModalAllowed()
{
    if (!CloseQuery())
        return false;
    TCloseAction action = TCloseAction::caHide;
    OnClose(action);
    return action != TCloseAction::caNone;
}

TModalResult TForm::ShowModal()
{
    if (modal_ || Visible())
        throw Exception("Cannot make a visible window modal");
    HWND previousActive = GetActiveWindow();
    DisabledWindows disabled{handle_, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableThreadWindow, reinterpret_cast<LPARAM>(&disabled));
    modal_ = true;
    modalResult_ = mrNone;
    // Whatever way the loop ends, the other windows come back and the form hides.
    struct Restore {
        TForm& form;
        DisabledWindows& disabled;
        HWND previousActive;
        ~Restore()
        {
            for (HWND hwnd : disabled.windows)
                if (IsWindow(hwnd))
                    EnableWindow(hwnd, TRUE);
            form.Hide();
            form.modal_ = false;
            if (previousActive && IsWindow(previousActive) && IsWindowVisible(previousActive))
                SetActiveWindow(previousActive);
        }
    } restore{*this, disabled, previousActive};

    OnShow();
    Application().ShowHandle();
    ShowWindow(handle_, SW_SHOW);
    SetForegroundWindow(handle_);
    FocusFirstControl();

    if (TModalHook* hook = ModalHook()) {
        modalResult_ = hook->ShowModal(*this);
        return modalResult_;
    }
    for (;;) {
        if (modalResult_ != mrNone) {
            if (EndModalAllowed())
                break;
            modalResult_ = mrNone;
        }
        if (Application().Terminated()) {
            modalResult_ = mrCancel;
            break;
        }
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit request for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            Application().Terminate();
            continue;
        }
        if (got == -1) {
            modalResult_ = mrCancel;
            break;
        }
        Application().DispatchOne(msg);
    }
    return modalResult_;
}

TControl* TForm::ControlOf(HWND child) const
{
    for (const auto& control : controls_)
        if (control->OwnsWindow(child))
            return control.get();
    return nullptr;
}

TButton* TForm::DefaultButton() const
{
    for (const auto& control : controls_)
        if (auto* button = dynamic_cast<TButton*>(control.get()); button && button->Default())
            return button;
    return nullptr;
}

TButton* TForm::CancelButton() const
{
    for (const auto& control : controls_)
        if (auto* button = dynamic_cast<TButton*>(control.get()); button && button->Cancel())
            return button;
    return nullptr;
}

void TForm::DefaultButtonChanged(TButton* button)
{
    for (const auto& control : controls_)
        if (auto* other = dynamic_cast<TButton*>(control.get()); other && other != button && other->Default())
            other->SetDefault(false);
}

void TForm::FocusFirstControl()
{
    for (HWND child = GetWindow(handle_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) {
            ::SetFocus(child);
            return;
        }
    }
    ::SetFocus(handle_);
}

void TForm::FocusControl(TControl& control)
{
    if (GetActiveWindow() == handle_)
        control.SetFocus();
    else
        lastFocus_ = control.Handle();
}

bool TForm::PressButton(TButton* button)
{
    if (!button || !button->Visible() || !button->Enabled())
        return false;
    button->Click();
    return true;
}

bool TForm::HandleDialogMessage(const MSG& msg)
{
    // Keys arrive at the window that had the focus when they were sent, which is the
    // one that counts even if the focus has moved since.
    HWND focus = msg.hwnd;
    if (msg.message == WM_KEYDOWN) {
        switch (msg.wParam) {
        case VK_ESCAPE:
            return PressButton(CancelButton());
        case VK_RETURN: {
            // A focused button takes Enter itself; otherwise the default button does.
            auto* focused = dynamic_cast<TButton*>(ControlOf(focus));
            if (focused && PressButton(focused))
                return true;
            return PressButton(DefaultButton());
        }
        case VK_TAB: {
            if (GetKeyState(VK_CONTROL) < 0)
                return false;
            bool back = GetKeyState(VK_SHIFT) < 0;
            HWND from = IsChild(handle_, focus) ? focus : nullptr;
            if (HWND next = GetNextDlgTabItem(handle_, from, back ? TRUE : FALSE)) {
                ::SetFocus(next);
                return true;
            }
            return false;
        }
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            if (TControl* control = ControlOf(focus))
                return control->OnNavigationKey(focus, msg.wParam);
            return false;
        default:
            return false;
        }
    }
    // Alt+letter anywhere, a plain letter where no edit wants it.
    if (msg.message == WM_SYSCHAR || (msg.message == WM_CHAR && !IsEditWindow(focus))) {
        char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(msg.wParam)));
        if (upper <= ' ')
            return false;
        for (const auto& control : controls_)
            if (control->Visible() && control->Enabled() && control->OnMnemonic(upper))
                return true;
    }
    return false;
}

} // namespace oru
