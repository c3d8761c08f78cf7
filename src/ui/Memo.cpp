#include <windows.h>

#include "ui/Memo.h"

namespace oru {

TMemo::TMemo(TForm& form, const TMemoArgs& args) : TControl(form), lines_(*this), color_(args.Color)
{
    DWORD style = WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
    if (args.ReadOnly)
        style |= ES_READONLY;
    if (args.ScrollBars)
        style |= WS_VSCROLL | WS_HSCROLL;
    if (args.TabStop)
        style |= WS_TABSTOP;
    CreateChild("EDIT", "", style, args.Border ? WS_EX_CLIENTEDGE : 0, args.Bounds);
    // The default limit of an edit control is far below a long run's history.
    SendMessageA(Handle(), EM_SETLIMITTEXT, 0, 0);
    if (!args.FontName.empty())
        SetFont(args.FontName, args.FontPoints, args.FontPitch);
}

TMemo::~TMemo()
{
    if (brush_)
        DeleteObject(brush_);
}

std::string TMemo::ControlText() const
{
    int length = GetWindowTextLengthA(Handle());
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(Handle(), text.data(), length + 1)));
    return text;
}

HBRUSH TMemo::OnCtlColor(HWND, HDC dc)
{
    HBRUSH brush = SolidBrush(color_, brush_);
    if (brush)
        SetBkColor(dc, *color_);
    return brush;
}

void TMemoLines::Add(const std::string& line)
{
    std::string piece = lines_.empty() ? line : "\r\n" + line;
    lines_.push_back(line);
    HWND hwnd = memo_.Handle();
    // Appending at the caret placed at the end keeps the newest line in view.
    int end = GetWindowTextLengthA(hwnd);
    SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    SendMessageA(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
}

void TMemoLines::Clear()
{
    lines_.clear();
    SetWindowTextA(memo_.Handle(), "");
}

std::string TMemoLines::Text() const
{
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (i)
            text += "\r\n";
        text += lines_[i];
    }
    return text;
}

} // namespace oru
