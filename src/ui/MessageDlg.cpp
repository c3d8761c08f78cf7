#include <windows.h>

#include "ui/MessageDlg.h"

#include "ui/Application.h"
#include "ui/ModalHook.h"

#include "platform/SysUtils.h"

namespace oru {

namespace {

// The Help button and F1 land here with the context the box was given.
void CALLBACK MessageBoxHelp(LPHELPINFO info)
{
    Application().HelpContext(static_cast<int>(info->dwContextId));
}

} // namespace

unsigned MessageBoxFlags(TMsgDlgType type, TMsgDlgButtons buttons)
{
    unsigned flags = 0;
    switch (buttons & ~mbHelp) {
    case mbOK: flags = MB_OK; break;
    case mbOK | mbCancel: flags = MB_OKCANCEL; break;
    case mbYes | mbNo: flags = MB_YESNO; break;
    case mbYes | mbNo | mbCancel: flags = MB_YESNOCANCEL; break;
    case mbAbort | mbRetry | mbIgnore: flags = MB_ABORTRETRYIGNORE; break;
    case mbRetry | mbCancel: flags = MB_RETRYCANCEL; break;
    default:
        throw Exception(Format("A message box cannot show the button set 0x%X", buttons));
    }
    if (buttons & mbHelp)
        flags |= MB_HELP;
    switch (type) {
    case TMsgDlgType::mtWarning: flags |= MB_ICONWARNING; break;
    case TMsgDlgType::mtError: flags |= MB_ICONERROR; break;
    case TMsgDlgType::mtInformation: flags |= MB_ICONINFORMATION; break;
    case TMsgDlgType::mtConfirmation: flags |= MB_ICONQUESTION; break;
    case TMsgDlgType::mtCustom: break;
    }
    return flags;
}

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    unsigned flags = MessageBoxFlags(type, buttons);
    TMessageDlgRequest request{Application().Title(), text, type, buttons, helpContext};
    if (TModalHook* hook = ModalHook())
        return hook->MessageDlg(request);

    HWND owner = GetActiveWindow();
    MSGBOXPARAMSA params{};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.hInstance = GetModuleHandleA(nullptr);
    params.lpszText = request.Text.c_str();
    params.lpszCaption = request.Title.c_str();
    // Without an owner, task-modal disables every window of the thread.
    params.dwStyle = flags | (owner ? 0u : static_cast<unsigned>(MB_TASKMODAL));
    params.dwContextHelpId = static_cast<DWORD_PTR>(helpContext);
    params.lpfnMsgBoxCallback = MessageBoxHelp;
    params.dwLanguageId = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
    // The box's answers (IDOK, IDCANCEL...) are modal results as they stand; 0 means
    // it could not be shown.
    return MessageBoxIndirectA(&params);
}

} // namespace oru
