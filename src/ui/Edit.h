// A one-line edit.
#pragma once

#include <windows.h>

#include "ui/Control.h"

#include <optional>
#include <string>

namespace oru {

struct TEditArgs {
    TBounds Bounds;
    std::string Text;
    bool ReadOnly = false;
    bool Enabled = true;
    bool TabStop = true;
    std::optional<COLORREF> Color; // background; the system's default when empty
    std::string FontName;          // empty: the form's font
    int FontPoints = 8;
    TFontPitch FontPitch = TFontPitch::fpDefault;
};

class TEdit : public TControl {
public:
    TEdit(TForm& form, const TEditArgs& args);
    ~TEdit() override;

    std::string Text() const;
    void SetText(const std::string& text);

protected:
    HBRUSH OnCtlColor(HWND from, HDC dc) override;

private:
    std::optional<COLORREF> color_;
    HBRUSH brush_ = nullptr;
};

} // namespace oru
