#include <windows.h>

#include "app/UpdateConfirm.h"

#include "app/CommandLine.h"
#include "install/ProductCatalogue.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"

namespace oru {

namespace {

TFormArgs MainFormLayout() {
    TFormArgs args;
    args.ClientWidth = 300;
    args.ClientHeight = 80;
    return args;
}

} // namespace

std::vector<std::string> TfrmConfirmUpdate::ProcessParams() {
    // The C runtime's argv would read \" as an escaped quote and swallow the
    // quote closing a folder such as "C:\Program Files\Parcelon\".
    auto all = SplitCommandLine(GetCommandLineA());
    if (!all.empty())
        all.erase(all.begin());
    return all;
}

std::string TfrmConfirmUpdate::ProgramUpdateDir() {
    return AddBackSlash(JustPathname(Application().ExeName()));
}

TfrmConfirmUpdate::TfrmConfirmUpdate()
    : TfrmConfirmUpdate(TConfirmUpdateArgs{ProcessParams(), ProgramUpdateDir()}) {}

TfrmConfirmUpdate::TfrmConfirmUpdate(const TConfirmUpdateArgs& args)
    : TForm(MainFormLayout()), driver_(args.UpdateDir) {
    if (const auto message = driver_.ReadCommandLine(args.Params))
        Stop(*message, mbOK);
    driver_.SelectProduct();

    SetCaption(ProductDisplayName() + " Update");
    Application().SetHelpFile(driver_.InstallDir + HelpFileName());
    SetHelpContext(ConfirmHelpContext);

    if (const auto message = driver_.CheckPackage())
        Stop(*message, mbOK | mbHelp);

    RunUpdate(args.PauseMilliseconds);
}

TfrmConfirmUpdate::~TfrmConfirmUpdate() = default;

void TfrmConfirmUpdate::Stop(const std::string& text, TMsgDlgButtons buttons) {
    MessageDlg(text, TMsgDlgType::mtError, buttons, 0);
    throw EAbort();
}

void TfrmConfirmUpdate::RunUpdate(DWORD pauseMilliseconds) {
    const auto& d = driver_;
    updateForm_ = std::make_unique<TfrmUpdate>(this, d.IsLEEdition, d.NetworkInstall, d.InstallDir,
                                               d.UpdateArchivePath, d.PatchArchivePath, d.Version,
                                               d.LocalPatchDll, d.ExtraMessage);
    updateForm_->Show();
    Application().ProcessMessages();
    // The banner stays readable for a moment before the run takes over.
    Sleep(pauseMilliseconds);

    switch (d.ChosenRun()) {
    case TUpdateDriver::TRun::ArchiveAndPatch:
        updateForm_->UpdateFromArchiveAndPatch();
        break;
    case TUpdateDriver::TRun::Archive:
        updateForm_->UpdateFromArchive();
        break;
    case TUpdateDriver::TRun::Patch:
        updateForm_->UpdateFromPatch();
        break;
    case TUpdateDriver::TRun::None:
        // Nothing to apply: the window offers its way out at once.
        updateForm_->EnableDone();
        break;
    }
}

LRESULT TfrmConfirmUpdate::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // Ending the user's session is never refused, and nothing is asked.
    if (msg == WM_QUERYENDSESSION)
        return 1;
    return TForm::OnMessage(msg, wParam, lParam);
}

} // namespace oru
