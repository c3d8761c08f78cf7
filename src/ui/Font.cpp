#include <windows.h>

#include "ui/Font.h"

namespace oru {

TFont::TFont(const std::string& name, int points, TFontPitch pitch) : name_(name), points_(points)
{
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    DWORD pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    if (pitch == TFontPitch::fpFixed)
        pitchAndFamily = FIXED_PITCH | FF_MODERN;
    else if (pitch == TFontPitch::fpVariable)
        pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    // A negative height asks for the character height, which is what a point size means.
    handle_ = CreateFontA(-MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          pitchAndFamily, name.c_str());
}

TFont::~TFont()
{
    if (handle_)
        DeleteObject(handle_);
}

} // namespace oru
