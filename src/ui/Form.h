// A top-level form over a Win32 window, owned by the application window: created
// invisible, centred on the screen, with a dialog border, system menu and minimise
// box. The form owns its controls and routes their notifications; keyboard handling
// (Escape, Enter, Tab, arrows, mnemonics) is the form's own, so WM_USER and the DM_*
// range stay free for the form's private messages.
#pragma once

#include <windows.h>

#include "ui/Control.h"
#include "ui/Font.h"
#include "ui/ModalResult.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace oru {

class TButton;

struct TFormArgs {
    std::string Caption;
    int ClientWidth = 320;
    int ClientHeight = 240;
    std::string FontName = "MS Sans Serif";
    int FontPoints = 8;
    int HelpContext = 0;
};

enum class TCloseAction { caNone, caHide };

class TForm {
public:
    explicit TForm(const TFormArgs& args);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientSize(int width, int height); // keeps the form centred on the screen
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int context) { helpContext_ = context; }
    const TFont& Font() const { return *font_; }

    bool Visible() const;
    // Modeless: makes the form visible and active, then runs OnShow.
    void Show();
    void Hide();
    // A modal form is asked to end with mrCancel; any other form runs CloseQuery
    // and OnClose, then hides (the main form terminates the application instead).
    void Close();

    // Shows the form modally: every other window of the thread is disabled until
    // ModalResult becomes non-zero and CloseQuery/OnClose allow the end. Goes to the
    // test hook instead when one is installed.
    TModalResult ShowModal();
    bool Modal() const { return modal_; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }

    // Creates a control owned by this form: C's constructor takes (TForm&, args...).
    template <class C, class... A>
    C* Add(A&&... args)
    {
        auto control = std::make_unique<C>(*this, std::forward<A>(args)...);
        C* raw = control.get();
        controls_.push_back(std::move(control));
        return raw;
    }

    // The button Enter presses (OK kind or Default set) and the one Escape
    // presses (cancel kind); null when there is none.
    TButton* DefaultButton() const;
    TButton* CancelButton() const;
    // Called by TButton when its Default property is set: one default per form.
    void DefaultButtonChanged(TButton* button);

    // Gives control the focus: now when the form is the active window, otherwise
    // when it is next activated (the focus never leaves another program's window).
    void FocusControl(TControl& control);

    // Keyboard handling of the form, run by the message loops before dispatch.
    // True when the message was consumed.
    bool HandleDialogMessage(const MSG& msg);

    // The form a window belongs to (the form itself or one of its descendants).
    static TForm* FromWindow(HWND hwnd);

    // Deliver a message to OnMessage as the window procedure would.
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    virtual void OnShow() {}
    virtual bool CloseQuery() { return true; }
    virtual void OnClose(TCloseAction& action) {}
    // Every message of the form's window. Overrides handle what they want and pass
    // the rest to TForm::OnMessage.
    virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    TControl* ControlOf(HWND child) const;
    bool EndModalAllowed();
    void FocusFirstControl();
    bool PressButton(TButton* button);

    HWND handle_ = nullptr;
    std::unique_ptr<TFont> font_;
    std::vector<std::unique_ptr<TControl>> controls_;
    int helpContext_ = 0;
    bool modal_ = false;
    TModalResult modalResult_ = mrNone;
    HWND lastFocus_ = nullptr;
};

} // namespace oru
