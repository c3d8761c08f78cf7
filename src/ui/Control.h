// The base of every control a form owns: one (or, for composite controls, several)
// child windows of the form, created at construction and destroyed with the
// object. The form routes WM_COMMAND and colour requests to the owning control.
#pragma once

#include <windows.h>

#include "ui/Font.h"

#include <memory>
#include <optional>
#include <string>

namespace oru {

class TForm;

// Position and size in the client coordinates of the form, in pixels.
struct TBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class TControl {
public:
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    HWND Handle() const { return handle_; }
    TForm& Form() const { return form_; }

    virtual bool Visible() const;
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    virtual bool Enabled() const;
    virtual void SetEnabled(bool enabled);

    TBounds Bounds() const;
    virtual void SetBounds(const TBounds& bounds);

    // A font of the control's own; without one the control uses the form's font.
    void SetFont(const std::string& name, int points, TFontPitch pitch = TFontPitch::fpDefault);
    HFONT FontHandle() const;

    virtual void SetFocus();
    virtual bool Focused() const;

    // Whether hwnd is one of this control's windows.
    virtual bool OwnsWindow(HWND hwnd) const { return hwnd == handle_; }

protected:
    explicit TControl(TForm& form);

    // Creates a child window of the form tagged with this control; the first one
    // created becomes Handle().
    HWND CreateChild(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                     const TBounds& bounds);
    virtual void ApplyFont(HFONT font);

    // A notification (BN_CLICKED, EN_CHANGE...) from one of the control's windows.
    virtual void OnCommand(HWND from, WORD code) {}
    // WM_CTLCOLOR*: a brush to paint the background with, or null for the default.
    virtual HBRUSH OnCtlColor(HWND from, HDC dc) { return nullptr; }
    // A mnemonic character (the letter after "&"); true when the control took it.
    virtual bool OnMnemonic(char upper) { return false; }
    // A key the form's keyboard handling offers the focused control (arrows).
    virtual bool OnNavigationKey(HWND focus, WPARAM key) { return false; }

    // Fills the background with a solid colour; kept by the control that needs it.
    static HBRUSH SolidBrush(std::optional<COLORREF> color, HBRUSH& cache);

private:
    friend class TForm;
    TForm& form_;
    HWND handle_ = nullptr;
    std::unique_ptr<TFont> ownFont_;
};

// The accelerator letter of a caption ("&Cancel" -> 'C', "&&" is a literal "&"),
// upper-cased; 0 when there is none.
char MnemonicOf(const std::string& caption);

} // namespace oru
