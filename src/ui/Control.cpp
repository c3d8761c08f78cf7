#include <windows.h>

#include "ui/Control.h"
#include "ui/Font.h"
#include "ui/Form.h"

#include "platform/SysUtils.h"

#include <cctype>

namespace oru {

TControl::TControl(TForm& form) : form_(form) {}

TControl::~TControl()
{
    if (handle_ && IsWindow(handle_))
        DestroyWindow(handle_);
}

HWND TControl::CreateChild(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                           const TBounds& b)
{
    static int nextId = 1000;
    HWND hwnd = CreateWindowExA(exStyle, className, text.c_str(), style | WS_CHILD, b.Left, b.Top, b.Width,
                                b.Height, form_.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
                                GetModuleHandleA(nullptr), nullptr);
    if (!hwnd)
        throw EOSError(Format("Cannot create a %s control", className), GetLastError());
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    if (!handle_)
        handle_ = hwnd;
    return hwnd;
}

bool TControl::Visible() const { return (GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) { ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE); }

bool TControl::Enabled() const { return IsWindowEnabled(handle_) != FALSE; }

void TControl::SetEnabled(bool enabled) { EnableWindow(handle_, enabled ? TRUE : FALSE); }

TBounds TControl::Bounds() const
{
    RECT r{};
    GetWindowRect(handle_, &r);
    MapWindowPoints(nullptr, form_.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TControl::SetBounds(const TBounds& b)
{
    SetWindowPos(handle_, nullptr, b.Left, b.Top, b.Width, b.Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetFont(const std::string& name, int points, TFontPitch pitch)
{
    ownFont_ = std::make_unique<TFont>(name, points, pitch);
    ApplyFont(ownFont_->Handle());
}

HFONT TControl::FontHandle() const { return ownFont_ ? ownFont_->Handle() : form_.Font().Handle(); }

void TControl::ApplyFont(HFONT font) { SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

void TControl::SetFocus() { ::SetFocus(handle_); }

bool TControl::Focused() const { return GetFocus() == handle_; }

HBRUSH TControl::SolidBrush(std::optional<COLORREF> color, HBRUSH& cache)
{
    if (!color)
        return nullptr;
    if (!cache)
        cache = CreateSolidBrush(*color);
    return cache;
}

char MnemonicOf(const std::string& caption)
{
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i; // "&&" is a literal ampersand
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
    }
    return 0;
}

} // namespace oru
