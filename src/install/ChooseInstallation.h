// The question between a local and a network installation. The texts always name
// the flagship product.
#pragma once

#include <windows.h>

#include "ui/Button.h"
#include "ui/Form.h"
#include "ui/RadioGroup.h"

#include <cstdint>

namespace oru {

class TfrmChooseExe : public TForm {
public:
    static constexpr const char* FlagshipName = "ORU Parcelon";

    // Builds the dialog, preselects from Choice (0 none, 1 local, 2 network; any
    // other value selects nothing) and shows it modally. Returns when it has
    // closed: Choice is the choice made on OK, and 0 on Cancel, Escape or the
    // close box.
    TfrmChooseExe(TForm* AOwner, uint8_t& Choice);

    TRadioGroup* rgChooseExe = nullptr;
    TButton* btnCancel = nullptr;
    TButton* btnOK = nullptr;

    // The form's choice, kept up to date by the radio group.
    uint8_t Choice = 0;

    void rgChooseExeClick();
    void btnOKClick();

private:
    TForm* owner_;
};

// Asks the user; returns 0 (cancelled), 1 (local) or 2 (network).
uint8_t ChooseInstallation(uint8_t choice);

} // namespace oru
