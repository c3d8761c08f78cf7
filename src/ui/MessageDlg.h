// The message dialog: a message box titled with the application title, with an
// icon by type and a set of buttons. A Help button asks the application's help
// for the given context. Goes to the test hook instead when one is installed.
#pragma once

#include "ui/ModalResult.h"

#include <string>

namespace oru {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1u << 0;
constexpr TMsgDlgButtons mbNo = 1u << 1;
constexpr TMsgDlgButtons mbOK = 1u << 2;
constexpr TMsgDlgButtons mbCancel = 1u << 3;
constexpr TMsgDlgButtons mbAbort = 1u << 4;
constexpr TMsgDlgButtons mbRetry = 1u << 5;
constexpr TMsgDlgButtons mbIgnore = 1u << 6;
constexpr TMsgDlgButtons mbHelp = 1u << 7;

// Lines inside text are separated by carriage returns. The button sets a message
// box can show are OK, OK+Cancel, Yes+No, Yes+No+Cancel, Abort+Retry+Ignore and
// Retry+Cancel, each optionally with Help; any other set raises oru::Exception.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                        int helpContext);

// The message box flags (MB_*) for a type and button set; raises oru::Exception
// for a button set a message box cannot show.
unsigned MessageBoxFlags(TMsgDlgType type, TMsgDlgButtons buttons);

} // namespace oru
