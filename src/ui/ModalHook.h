// The one seam for every modal interaction: message dialogs, open-file dialogs
// and modal forms. While a hook is installed, each of them goes to the hook, which
// answers in place of the user, so tests never block on a modal window.
#pragma once

#include "ui/MessageDlg.h"
#include "ui/ModalResult.h"
#include "ui/OpenDialog.h"

#include <functional>
#include <string>
#include <vector>

namespace oru {

class TForm;

struct TMessageDlgRequest {
    std::string Title;
    std::string Text;
    TMsgDlgType Type = TMsgDlgType::mtInformation;
    TMsgDlgButtons Buttons = 0;
    int HelpContext = 0;
};

class TModalHook {
public:
    virtual ~TModalHook() = default;
    virtual TModalResult MessageDlg(const TMessageDlgRequest& request) = 0;
    // May set dialog.FileName; returns whether the user "chose" a file.
    virtual bool OpenDialog(TOpenDialog& dialog) = 0;
    // Called while the form is in its modal state (Modal() is true) and visible:
    // the hook may click the form's controls. ShowModal returns what it answers.
    virtual TModalResult ShowModal(TForm& form) = 0;
};

// Installs a hook (null removes it) and returns the previous one.
TModalHook* SetModalHook(TModalHook* hook);
TModalHook* ModalHook();

// A hook that records every request and answers through replaceable handlers.
// Installed for its lifetime; the previous hook comes back on destruction.
class TModalRecorder : public TModalHook {
public:
    TModalRecorder();
    ~TModalRecorder() override;
    TModalRecorder(const TModalRecorder&) = delete;
    TModalRecorder& operator=(const TModalRecorder&) = delete;

    // Default answers: the first button of the set for a message, cancel for an
    // open dialog, and for a modal form the form's ModalResult, or mrCancel when
    // it has none.
    std::function<TModalResult(const TMessageDlgRequest&)> OnMessageDlg;
    std::function<bool(TOpenDialog&)> OnOpenDialog;
    std::function<TModalResult(TForm&)> OnShowModal;

    std::vector<TMessageDlgRequest> Messages;
    std::vector<TOpenDialogSettings> OpenDialogs;
    std::vector<std::string> ModalForms; // the captions of the forms shown modally

    TModalResult MessageDlg(const TMessageDlgRequest& request) override;
    bool OpenDialog(TOpenDialog& dialog) override;
    TModalResult ShowModal(TForm& form) override;

private:
    TModalHook* previous_;
};

} // namespace oru
