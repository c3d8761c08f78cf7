// A static caption that sizes itself to its text.
#pragma once

#include <windows.h>

#include "ui/Control.h"

#include <string>

namespace oru {

struct TLabelArgs {
    int Left = 0;
    int Top = 0;
    std::string Caption;
    bool Visible = true;
};

class TLabel : public TControl {
public:
    TLabel(TForm& form, const TLabelArgs& args);

    std::string Caption() const;
    void SetCaption(const std::string& caption);

protected:
    void ApplyFont(HFONT font) override;

private:
    void AutoSize();
};

} // namespace oru
