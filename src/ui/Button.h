// A push button. Its kind presets caption and role: the OK kind is the default
// button (Enter) and ends a modal form with mrOk, the cancel kind answers Escape and
// ends it with mrCancel, the help kind opens the form's help topic unless OnClick
// is set.
#pragma once

#include <windows.h>

#include "ui/Control.h"
#include "ui/ModalResult.h"

#include <functional>
#include <optional>
#include <string>

namespace oru {

enum class TButtonKind { bkCustom, bkOK, bkCancel, bkHelp };

struct TButtonArgs {
    TBounds Bounds;
    TButtonKind Kind = TButtonKind::bkCustom;
    std::string Caption;                     // empty: the kind's caption
    std::optional<bool> Default;             // empty: true for the OK kind
    std::optional<TModalResult> ModalResult; // empty: the kind's result
    bool TabStop = true;
};

class TButton : public TControl {
public:
    TButton(TForm& form, const TButtonArgs& args);

    TButtonKind Kind() const { return kind_; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    bool Default() const { return default_; }
    void SetDefault(bool isDefault);
    bool Cancel() const { return kind_ == TButtonKind::bkCancel; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }

    // Run when the button is pressed, after the button's modal result has been
    // given to the form: a handler may set the form's ModalResult back to mrNone
    // to keep a modal form open.
    std::function<void()> OnClick;
    // Presses the button as the user would, whether enabled or not.
    void Click();

protected:
    void OnCommand(HWND from, WORD code) override;
    bool OnMnemonic(char upper) override;

private:
    TButtonKind kind_;
    bool default_ = false;
    TModalResult modalResult_ = mrNone;
};

} // namespace oru
