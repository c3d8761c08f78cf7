#include <windows.h>

#include "ui/Label.h"

namespace oru {

TLabel::TLabel(TForm& form, const TLabelArgs& args) : TControl(form)
{
    CreateChild("STATIC", args.Caption, (args.Visible ? WS_VISIBLE : 0) | SS_LEFT, 0,
                {args.Left, args.Top, 1, 1});
    AutoSize();
}

std::string TLabel::Caption() const
{
    char text[512] = {};
    GetWindowTextA(Handle(), text, sizeof text);
    return text;
}

void TLabel::SetCaption(const std::string& caption)
{
    SetWindowTextA(Handle(), caption.c_str());
    AutoSize();
}

void TLabel::ApplyFont(HFONT font)
{
    TControl::ApplyFont(font);
    AutoSize();
}

void TLabel::AutoSize()
{
    std::string text = Caption();
    HDC dc = GetDC(Handle());
    HGDIOBJ old = SelectObject(dc, FontHandle());
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_LEFT);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    SetWindowPos(Handle(), nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace oru
