#include <windows.h>

#include "ui/ModalHook.h"

#include "ui/Form.h"

namespace oru {

namespace {
TModalHook* CurrentHook = nullptr;
} // namespace

TModalHook* SetModalHook(TModalHook* hook)
{
    TModalHook* previous = CurrentHook;
    CurrentHook = hook;
    return previous;
}

TModalHook* ModalHook() { return CurrentHook; }

TModalRecorder::TModalRecorder() : previous_(SetModalHook(this)) {}

TModalRecorder::~TModalRecorder() { SetModalHook(previous_); }

TModalResult TModalRecorder::MessageDlg(const TMessageDlgRequest& request)
{
    Messages.push_back(request);
    if (OnMessageDlg)
        return OnMessageDlg(request);
    // The first button of the set, in the order the box shows them.
    const std::pair<TMsgDlgButtons, TModalResult> order[] = {
        {mbYes, mrYes}, {mbNo, mrNo}, {mbOK, mrOk}, {mbCancel, mrCancel},
        {mbAbort, mrAbort}, {mbRetry, mrRetry}, {mbIgnore, mrIgnore}};
    for (const auto& [button, result] : order)
        if (request.Buttons & button)
            return result;
    return mrNone;
}

bool TModalRecorder::OpenDialog(TOpenDialog& dialog)
{
    OpenDialogs.push_back(dialog);
    return OnOpenDialog ? OnOpenDialog(dialog) : false;
}

TModalResult TModalRecorder::ShowModal(TForm& form)
{
    ModalForms.push_back(form.Caption());
    if (OnShowModal)
        return OnShowModal(form);
    return form.ModalResult() != mrNone ? form.ModalResult() : mrCancel;
}

} // namespace oru
