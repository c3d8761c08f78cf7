#include <windows.h>

#include "ui/Edit.h"

namespace oru {

TEdit::TEdit(TForm& form, const TEditArgs& args) : TControl(form), color_(args.Color)
{
    DWORD style = WS_VISIBLE | ES_AUTOHSCROLL;
    if (args.ReadOnly)
        style |= ES_READONLY;
    if (!args.Enabled)
        style |= WS_DISABLED;
    if (args.TabStop)
        style |= WS_TABSTOP;
    CreateChild("EDIT", args.Text, style, WS_EX_CLIENTEDGE, args.Bounds);
    if (!args.FontName.empty())
        SetFont(args.FontName, args.FontPoints, args.FontPitch);
}

TEdit::~TEdit()
{
    if (brush_)
        DeleteObject(brush_);
}

std::string TEdit::Text() const
{
    int length = GetWindowTextLengthA(Handle());
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(Handle(), text.data(), length + 1)));
    return text;
}

void TEdit::SetText(const std::string& text) { SetWindowTextA(Handle(), text.c_str()); }

HBRUSH TEdit::OnCtlColor(HWND, HDC dc)
{
    HBRUSH brush = SolidBrush(color_, brush_);
    if (brush)
        SetBkColor(dc, *color_);
    return brush;
}

} // namespace oru
