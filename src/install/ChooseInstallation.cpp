#include <windows.h>

#include "install/ChooseInstallation.h"

#include "platform/SysUtils.h"
#include "ui/MessageDlg.h"

namespace oru {

TfrmChooseExe::TfrmChooseExe(TForm* AOwner, uint8_t& choice)
    : TForm({.Caption = FlagshipName, .ClientWidth = 247, .ClientHeight = 125, .FontName = "MS Sans Serif",
             .FontPoints = 8}),
      owner_(AOwner)
{
    // Created in tab order: the group, Cancel, OK.
    rgChooseExe = Add<TRadioGroup>(TRadioGroupArgs{.Bounds = {8, 8, 233, 81},
                                                   .Caption = "Choose installation",
                                                   .Items = {"&Local %s installation", "&Network %s installation"}});
    btnCancel = Add<TButton>(
        TButtonArgs{.Bounds = {166, 96, 75, 25}, .Kind = TButtonKind::bkCancel, .Caption = "&Cancel"});
    btnOK = Add<TButton>(TButtonArgs{.Bounds = {87, 96, 75, 25}, .Kind = TButtonKind::bkOK, .Caption = "&OK"});
    rgChooseExe->OnClick = [this] { rgChooseExeClick(); };
    btnOK->OnClick = [this] { btnOKClick(); };

    for (size_t i = 0; i < rgChooseExe->Items().size(); ++i)
        rgChooseExe->SetItem(i, Format(rgChooseExe->Items()[i].c_str(), FlagshipName));

    Choice = choice;
    rgChooseExe->SetItemIndex(choice == 1 ? 0 : choice == 2 ? 1 : -1);

    choice = ShowModal() == mrOk ? Choice : 0;
}

void TfrmChooseExe::rgChooseExeClick() { Choice = static_cast<uint8_t>(rgChooseExe->ItemIndex() + 1); }

void TfrmChooseExe::btnOKClick()
{
    if (rgChooseExe->ItemIndex() >= 0)
        return;
    MessageDlg(Format("A %s installation was not choosen.", FlagshipName), TMsgDlgType::mtInformation, mbOK, 0);
    SetModalResult(mrNone); // stay open for a choice
}

uint8_t ChooseInstallation(uint8_t choice)
{
    TfrmChooseExe dialog(nullptr, choice);
    return choice;
}

} // namespace oru
