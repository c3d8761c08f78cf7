#include <windows.h>

#include "update/Update.h"

#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "platform/Files.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"
#include "ui/MessageDlg.h"
#include "update/RTPatchErrors.h"

namespace oru {

namespace {

constexpr COLORREF White = RGB(255, 255, 255);
constexpr const char* CancelCaption = "&Cancel";
constexpr const char* DoneCaption = "&Done";
// From this version on a patch replaces the old checker, which must go first.
constexpr const char* CheckerVersion = "01.22.01.16";

bool IsDated(const std::string& version) { return version.find('*') != std::string::npos; }

std::string DateOf(const std::string& version) { return ExtractWord(2, version, " "); }

} // namespace

bool HasFileExtension(const std::string& name, const std::string& ext)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('\\', dot) != std::string::npos)
        return ext.empty();
    return SameText(name.substr(dot + 1), ext);
}

TfrmUpdate::TfrmUpdate(TForm* AOwner, bool IsLEEdition, bool NetworkInstall, const std::string& InstallDir,
                       const std::string& UpdateArchivePath, const std::string& PatchArchivePath,
                       const std::string& Version, bool LocalPatchDll, const std::string& ExtraMessage)
    : TForm({.Caption = ProductDisplayName() + " Update",
             .ClientWidth = 412,
             .ClientHeight = 202,
             .FontName = "MS Sans Serif",
             .FontPoints = 8,
             .HelpContext = UpdateHelpContext}),
      InstallDir(InstallDir), UpdateArchivePath(UpdateArchivePath), PatchArchivePath(PatchArchivePath),
      Version(Version), IsLEEdition(IsLEEdition), NetworkInstall(NetworkInstall), LocalPatchDll(LocalPatchDll),
      ExtraMessage(ExtraMessage), owner_(AOwner)
{
    History = Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 412, 145},
                                   .ReadOnly = true,
                                   .ScrollBars = true,
                                   .Border = false,
                                   .TabStop = false,
                                   .Color = White,
                                   .FontName = "Lucida Console",
                                   .FontPoints = 8,
                                   .FontPitch = TFontPitch::fpFixed});
    edCurrentFile = Add<TEdit>(TEditArgs{.Bounds = {0, 148, 409, 19},
                                         .ReadOnly = true,
                                         .Enabled = false,
                                         .TabStop = false,
                                         .Color = White,
                                         .FontName = "Lucida Console",
                                         .FontPoints = 8,
                                         .FontPitch = TFontPitch::fpFixed});
    lbFile = Add<TLabel>(TLabelArgs{.Left = 0, .Top = 172, .Caption = "File", .Visible = false});
    lbPatch = Add<TLabel>(TLabelArgs{.Left = 0, .Top = 189, .Caption = "Update", .Visible = false});
    pbFile = Add<TProgressMeter>(TProgressMeterArgs{.Bounds = {40, 171, 209, 13}, .Visible = false});
    pbPatch = Add<TProgressMeter>(TProgressMeterArgs{.Bounds = {40, 188, 209, 13}, .Visible = false});
    btnCancel = Add<TButton>(
        TButtonArgs{.Bounds = {253, 171, 75, 30}, .Kind = TButtonKind::bkCancel, .Caption = CancelCaption});
    btnHelp = Add<TButton>(TButtonArgs{.Bounds = {336, 171, 75, 30}, .Kind = TButtonKind::bkHelp});
    btnCancel->OnClick = [this] { btnCancelClick(); };
    btnHelp->OnClick = [this] { btnHelpClick(); };

    IsRtpPatch = HasFileExtension(PatchArchivePath, "rtp");
    IsMcuUpdate = HasFileExtension(UpdateArchivePath, "mcu");
    pbFile->SetPercent(0);
    pbPatch->SetPercent(0);
}

TfrmUpdate::~TfrmUpdate() = default;

void TfrmUpdate::AddHistory(const std::string& line) { History->Lines().Add(line); }

// ---- showing ----

void TfrmUpdate::OnShow() { FormShow(); }

void TfrmUpdate::FormShow()
{
    edCurrentFile->SetText("");
    History->Lines().Clear();
    btnCancel->SetCaption(CancelCaption);
    // Only a patch-only package can be cancelled from the start: the engine's
    // callbacks are the only place where the window listens during a run.
    btnCancel->SetEnabled(IsRtpPatch && !IsMcuUpdate);

    const std::string frame = " -------------------------------------------------------";
    const std::string empty = " |" + std::string(53, ' ') + "|";
    AddHistory(frame);
    AddHistory(" |" + CenterPadSpaces(ProductDisplayName(), 53) + "|");
    AddHistory(empty);
    AddHistory(" |                     True 32 Bit                     |");
    AddHistory(" |            Parcelon Software System for             |");
    AddHistory(" |         Microsoft Windows Operating Systems         |");
    AddHistory(empty);
    AddHistory(BlankLine);
    AddHistory(frame);
    AddHistory(BlankLine);
    if (IsDated(Version))
        AddHistory(Format(" **************  Update as of %s  **************", DateOf(Version).c_str()));
    else
        AddHistory(Format(" **********  Update to version   %s  **********", Version.c_str()));
}

// ---- the run operations ----

void TfrmUpdate::UpdateFromArchive() { RunFrame(RunKind::Archive); }

void TfrmUpdate::UpdateFromPatch() { RunFrame(RunKind::Patch); }

void TfrmUpdate::UpdateFromArchiveAndPatch() { RunFrame(RunKind::ArchiveAndPatch); }

void TfrmUpdate::RunFrame(RunKind kind)
{
    ReleaseCountiesTable();
    try {
        RunSteps(kind);
        SuccessEnding(kind);
    } catch (const std::exception& e) {
        ErrorEnding(kind, e);
    }
    // The window becomes end-able even if the reload raises: a window whose
    // close is refused for good would leave the user no way out.
    struct DoneOnExit {
        TfrmUpdate& form;
        ~DoneOnExit()
        {
            form.edCurrentFile->SetText("");
            form.EnableDone();
        }
    } done{*this};
    LoadCountiesTable(0, "");
}

void TfrmUpdate::RunSteps(RunKind kind)
{
    switch (kind) {
    case RunKind::Archive:
        ExtractArchive();
        AddHistory(BlankLine);
        break;
    case RunKind::Patch:
        if (CompareText(Version, CheckerVersion) >= 0)
            DeleteOldChecker();
        ApplyPatch();
        AddHistory(BlankLine);
        break;
    case RunKind::ArchiveAndPatch:
        AddHistory(BlankLine);
        ExtractArchive();
        AddHistory(BlankLine);
        btnCancel->SetEnabled(IsRtpPatch);
        ApplyPatch();
        AddHistory(BlankLine);
        break;
    }
}

void TfrmUpdate::DeleteOldChecker()
{
    // Whether it was there or could be removed is of no interest to the user.
    std::string checker = GetSystemFolder() + "ORUCHI16.exe";
    DeleteFileA(checker.c_str());
}

void TfrmUpdate::SuccessEnding(RunKind kind)
{
    const std::string name = ProductDisplayName();
    if (IsDated(Version))
        AddHistory(name + " is updated as of " + DateOf(Version) + ".");
    else
        AddHistory(name + " is updated to version " + Version + ".");
    if (!ExtraMessage.empty())
        MessageDlg(ExtraMessage, TMsgDlgType::mtInformation, mbOK, 0);
    if (kind != RunKind::Archive && RestartRequired) {
        const std::string first = "Your system must be restarted in order for";
        const std::string second = Format("the %s Update to take effect.", ProductDisplayName().c_str());
        AddHistory(BlankLine);
        AddHistory(first);
        AddHistory(second);
        MessageDlg(first + "\r" + second, TMsgDlgType::mtInformation, mbOK, 0);
    }
}

void TfrmUpdate::ErrorEnding(RunKind kind, const std::exception& e)
{
    Application().HandleException(e);
    const std::string name = ProductDisplayName();
    const std::string current = edCurrentFile->Text();
    if (kind != RunKind::Archive && dynamic_cast<const ERTPatchAborted*>(&e)) {
        AddHistory(BlankLine);
        AddHistory(Format("%s update aborted", name.c_str()));
        return;
    }
    if (!current.empty())
        AddHistory("Error updating - " + current);
    if (kind != RunKind::Archive)
        AddHistory(BlankLine);
    AddHistory(Format("%s update failed", name.c_str()));
}

// ---- Cancel, Done, closing, help ----

void TfrmUpdate::EnableDone()
{
    btnCancel->SetEnabled(true);
    btnCancel->SetDefault(true);
    btnCancel->SetCaption(DoneCaption);
    // Wherever the focus went while Cancel was disabled, Enter and Space must now
    // press Done, not Help.
    FocusControl(*btnCancel);
}

void TfrmUpdate::btnCancelClick()
{
    if (SameText(btnCancel->Caption(), CancelCaption))
        CancelRequested = true; // the engine hears of it at its next callback
    else
        Application().Terminate();
}

bool TfrmUpdate::CloseQuery() { return FormCloseQuery(); }

bool TfrmUpdate::FormCloseQuery() { return SameText(btnCancel->Caption(), DoneCaption); }

void TfrmUpdate::OnClose(TCloseAction& action) { FormClose(action); }

void TfrmUpdate::FormClose(TCloseAction& action)
{
    action = TCloseAction::caHide;
    Application().Terminate();
}

void TfrmUpdate::btnHelpClick() { Application().HelpContext(HelpContext()); }

// ---- engine messages ----

LRESULT TfrmUpdate::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_USER)
        return TForm::OnMessage(msg, wParam, lParam);
    TMessage message{msg, wParam, lParam, 0};
    // Reported here rather than by the window procedure so that the engine still
    // gets the reply as it stood when the handler failed.
    try {
        WMRTPatch(message);
    } catch (const std::exception& e) {
        Application().HandleException(e);
    }
    return message.Result;
}

} // namespace oru
