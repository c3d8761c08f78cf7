#include <windows.h>

#include "ui/Button.h"

#include "ui/Application.h"
#include "ui/Form.h"

namespace oru {

namespace {

std::string KindCaption(TButtonKind kind)
{
    switch (kind) {
    case TButtonKind::bkOK: return "OK";
    case TButtonKind::bkCancel: return "Cancel";
    case TButtonKind::bkHelp: return "&Help";
    case TButtonKind::bkCustom: break;
    }
    return {};
}

TModalResult KindResult(TButtonKind kind)
{
    switch (kind) {
    case TButtonKind::bkOK: return mrOk;
    case TButtonKind::bkCancel: return mrCancel;
    default: return mrNone;
    }
}

} // namespace

TButton::TButton(TForm& form, const TButtonArgs& args)
    : TControl(form), kind_(args.Kind), modalResult_(args.ModalResult.value_or(KindResult(args.Kind)))
{
    std::string caption = args.Caption.empty() ? KindCaption(kind_) : args.Caption;
    CreateChild("BUTTON", caption, WS_VISIBLE | BS_PUSHBUTTON | (args.TabStop ? WS_TABSTOP : 0), 0, args.Bounds);
    if (args.Default.value_or(kind_ == TButtonKind::bkOK))
        SetDefault(true);
}

std::string TButton::Caption() const
{
    char text[256] = {};
    GetWindowTextA(Handle(), text, sizeof text);
    return text;
}

void TButton::SetCaption(const std::string& caption) { SetWindowTextA(Handle(), caption.c_str()); }

void TButton::SetDefault(bool isDefault)
{
    default_ = isDefault;
    SendMessageA(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    if (isDefault)
        Form().DefaultButtonChanged(this);
}

void TButton::Click()
{
    // The result first, so that the handler can take it back.
    if (modalResult_ != mrNone)
        Form().SetModalResult(modalResult_);
    if (OnClick)
        OnClick();
    else if (kind_ == TButtonKind::bkHelp)
        Application().HelpContext(Form().HelpContext());
}

void TButton::OnCommand(HWND, WORD code)
{
    if (code == BN_CLICKED)
        Click();
}

bool TButton::OnMnemonic(char upper)
{
    if (MnemonicOf(Caption()) != upper)
        return false;
    Click();
    return true;
}

} // namespace oru
