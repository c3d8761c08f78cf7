// A multi-line edit holding a list of lines. Lines are kept alongside the control
// so that reading them back never depends on how the control wraps or limits text.
#pragma once

#include <windows.h>

#include "ui/Control.h"

#include <optional>
#include <string>
#include <vector>

namespace oru {

struct TMemoArgs {
    TBounds Bounds;
    bool ReadOnly = false;
    bool ScrollBars = true; // both
    bool Border = true;
    bool TabStop = true;
    std::optional<COLORREF> Color; // background; the system's default when empty
    std::string FontName;          // empty: the form's font
    int FontPoints = 8;
    TFontPitch FontPitch = TFontPitch::fpDefault;
};

class TMemo;

// The lines of a memo. Adding a line moves the caret to the end so that the latest
// line is in view.
class TMemoLines {
public:
    void Add(const std::string& line);
    void Clear();
    size_t Count() const { return lines_.size(); }
    const std::string& operator[](size_t index) const { return lines_.at(index); }
    // The lines joined with CR LF, as the control holds them.
    std::string Text() const;
    const std::vector<std::string>& Items() const { return lines_; }

private:
    friend class TMemo;
    explicit TMemoLines(TMemo& memo) : memo_(memo) {}
    TMemo& memo_;
    std::vector<std::string> lines_;
};

class TMemo : public TControl {
public:
    TMemo(TForm& form, const TMemoArgs& args);
    ~TMemo() override;

    TMemoLines& Lines() { return lines_; }
    const TMemoLines& Lines() const { return lines_; }
    // The text the control shows.
    std::string ControlText() const;

protected:
    HBRUSH OnCtlColor(HWND from, HDC dc) override;

private:
    friend class TMemoLines;
    TMemoLines lines_;
    std::optional<COLORREF> color_;
    HBRUSH brush_ = nullptr;
};

} // namespace oru
