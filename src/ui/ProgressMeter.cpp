#include <windows.h>
#include <commctrl.h>

#include "ui/ProgressMeter.h"

#include <algorithm>

namespace oru {

TProgressMeter::TProgressMeter(TForm& form, const TProgressMeterArgs& args) : TControl(form)
{
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)registered;
    CreateChild(PROGRESS_CLASSA, "", args.Visible ? WS_VISIBLE : 0, 0, args.Bounds);
    SendMessageA(Handle(), PBM_SETRANGE32, 0, 100);
    SetPercent(args.Percent);
}

void TProgressMeter::SetPercent(int percent)
{
    percent_ = std::clamp(percent, 0, 100);
    SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(percent_), 0);
}

int TProgressMeter::ControlPosition() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0)); }

} // namespace oru
