// A horizontal meter of a whole percentage, 0 to 100. Values outside are clamped.
#pragma once

#include <windows.h>

#include "ui/Control.h"

namespace oru {

struct TProgressMeterArgs {
    TBounds Bounds;
    bool Visible = true;
    int Percent = 0;
};

class TProgressMeter : public TControl {
public:
    TProgressMeter(TForm& form, const TProgressMeterArgs& args);

    int Percent() const { return percent_; }
    void SetPercent(int percent);
    // The position the control itself reports, for checking that it follows.
    int ControlPosition() const;

private:
    int percent_ = 0;
};

} // namespace oru
