#include <windows.h>

#include "ui/RadioGroup.h"

#include "ui/Form.h"

#include "platform/SysUtils.h"

namespace oru {

namespace {

constexpr const char* OriginalProcProp = "OruRadioProc";

// A radio button that gains focus without a click reports BN_CLICKED; the group
// must not take that as a choice, so the items note when they are inside focus
// handling.
int FocusDepth = 0;

LRESULT CALLBACK RadioItemProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, OriginalProcProp));
    if (msg == WM_SETFOCUS) {
        ++FocusDepth;
        LRESULT result = CallWindowProcA(original, hwnd, msg, wParam, lParam);
        --FocusDepth;
        return result;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropA(hwnd, OriginalProcProp);
    }
    return CallWindowProcA(original, hwnd, msg, wParam, lParam);
}

} // namespace

TRadioGroup::TRadioGroup(TForm& form, const TRadioGroupArgs& args)
    : TControl(form), items_(args.Items), tabStop_(args.TabStop)
{
    CreateChild("BUTTON", args.Caption, WS_VISIBLE | BS_GROUPBOX, 0, args.Bounds);
    CreateButtons();
    SetItemIndex(args.ItemIndex);
}

TRadioGroup::~TRadioGroup() { DestroyButtons(); }

std::string TRadioGroup::Caption() const
{
    char text[256] = {};
    GetWindowTextA(Handle(), text, sizeof text);
    return text;
}

void TRadioGroup::SetCaption(const std::string& caption) { SetWindowTextA(Handle(), caption.c_str()); }

void TRadioGroup::CreateButtons()
{
    DWORD shown = Visible() ? WS_VISIBLE : 0;
    DWORD disabled = Enabled() ? 0 : WS_DISABLED;
    HWND after = Handle();
    for (const std::string& item : items_) {
        HWND button = CreateChild("BUTTON", item, shown | disabled | BS_RADIOBUTTON, 0, {0, 0, 1, 1});
        // Right behind the group in the z-order, which is also the tab order.
        SetWindowPos(button, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = button;
        SetPropA(button, OriginalProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(button, GWLP_WNDPROC)));
        SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RadioItemProc));
        buttons_.push_back(button);
    }
    ArrangeButtons();
}

void TRadioGroup::DestroyButtons()
{
    for (HWND button : buttons_)
        if (IsWindow(button))
            DestroyWindow(button);
    buttons_.clear();
}

void TRadioGroup::ArrangeButtons()
{
    if (buttons_.empty())
        return;
    TBounds group = Bounds();
    // The items share the space below the caption line evenly, one per row.
    HDC dc = GetDC(Handle());
    HGDIOBJ old = SelectObject(dc, FontHandle());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    int top = tm.tmHeight + 2;
    int space = group.Height - top - 4;
    int count = static_cast<int>(buttons_.size());
    int row = space / count;
    int first = top + (space - row * count) / 2;
    for (int i = 0; i < count; ++i)
        SetWindowPos(buttons_[static_cast<size_t>(i)], nullptr, group.Left + 8, group.Top + first + i * row,
                     group.Width - 16, row, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TRadioGroup::SetItems(const std::vector<std::string>& items)
{
    DestroyButtons();
    items_ = items;
    itemIndex_ = -1;
    CreateButtons();
    UpdateChecks();
}

void TRadioGroup::SetItem(size_t index, const std::string& caption)
{
    items_.at(index) = caption;
    SetWindowTextA(buttons_[index], caption.c_str());
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < -1 || index >= static_cast<int>(items_.size()))
        throw Exception(Format("Radio item %d does not exist (the group has %d)", index, static_cast<int>(items_.size())));
    itemIndex_ = index;
    UpdateChecks();
}

void TRadioGroup::UpdateChecks()
{
    // Tab enters the group at the selected item, or at the first when none is.
    size_t stop = itemIndex_ >= 0 ? static_cast<size_t>(itemIndex_) : 0;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        bool checked = static_cast<int>(i) == itemIndex_;
        SendMessageA(buttons_[i], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        LONG style = GetWindowLongA(buttons_[i], GWL_STYLE);
        style = (tabStop_ && i == stop) ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
        SetWindowLongA(buttons_[i], GWL_STYLE, style);
    }
}

void TRadioGroup::ClickItem(int index)
{
    SetItemIndex(index);
    if (OnClick)
        OnClick();
}

int TRadioGroup::IndexOf(HWND hwnd) const
{
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i] == hwnd)
            return static_cast<int>(i);
    return -1;
}

bool TRadioGroup::OwnsWindow(HWND hwnd) const { return hwnd == Handle() || IndexOf(hwnd) >= 0; }

void TRadioGroup::SetVisible(bool visible)
{
    TControl::SetVisible(visible);
    for (HWND button : buttons_)
        ShowWindow(button, visible ? SW_SHOWNA : SW_HIDE);
}

void TRadioGroup::SetEnabled(bool enabled)
{
    TControl::SetEnabled(enabled);
    for (HWND button : buttons_)
        EnableWindow(button, enabled ? TRUE : FALSE);
}

void TRadioGroup::SetBounds(const TBounds& bounds)
{
    TControl::SetBounds(bounds);
    ArrangeButtons();
}

void TRadioGroup::SetFocus()
{
    if (buttons_.empty())
        return;
    ::SetFocus(buttons_[itemIndex_ >= 0 ? static_cast<size_t>(itemIndex_) : 0]);
}

bool TRadioGroup::Focused() const { return IndexOf(GetFocus()) >= 0; }

void TRadioGroup::ApplyFont(HFONT font)
{
    TControl::ApplyFont(font);
    for (HWND button : buttons_)
        SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ArrangeButtons();
}

void TRadioGroup::OnCommand(HWND from, WORD code)
{
    if (code != BN_CLICKED || FocusDepth > 0)
        return;
    int index = IndexOf(from);
    if (index >= 0)
        ClickItem(index);
}

bool TRadioGroup::OnMnemonic(char upper)
{
    for (size_t i = 0; i < items_.size(); ++i) {
        if (MnemonicOf(items_[i]) == upper) {
            ::SetFocus(buttons_[i]);
            ClickItem(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

bool TRadioGroup::OnNavigationKey(HWND focus, WPARAM key)
{
    int index = IndexOf(focus);
    int count = static_cast<int>(buttons_.size());
    if (index < 0 || count == 0)
        return false;
    bool forward = key == VK_DOWN || key == VK_RIGHT;
    int next = forward ? (index + 1) % count : (index + count - 1) % count;
    ::SetFocus(buttons_[static_cast<size_t>(next)]);
    ClickItem(next);
    return true;
}

} // namespace oru
