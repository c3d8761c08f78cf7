// A captioned group of radio items, at most one selected. Item captions may carry
// "&" accelerators. Focus alone never selects an item; a click, Space, an arrow
// key or the accelerator does.
#pragma once

#include <windows.h>

#include "ui/Control.h"

#include <functional>
#include <string>
#include <vector>

namespace oru {

struct TRadioGroupArgs {
    TBounds Bounds;
    std::string Caption;
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool TabStop = true;
};

class TRadioGroup : public TControl {
public:
    TRadioGroup(TForm& form, const TRadioGroupArgs& args);
    ~TRadioGroup() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);

    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(const std::vector<std::string>& items);
    void SetItem(size_t index, const std::string& caption);

    // -1: nothing selected. Setting it does not run OnClick; an index out of range
    // raises oru::Exception.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

    // Run when the user selects an item.
    std::function<void()> OnClick;
    // Selects the item as a click would, running OnClick.
    void ClickItem(int index);
    HWND ItemHandle(size_t index) const { return buttons_.at(index); }

    bool OwnsWindow(HWND hwnd) const override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void SetBounds(const TBounds& bounds) override;
    void SetFocus() override;
    bool Focused() const override;

protected:
    void ApplyFont(HFONT font) override;
    void OnCommand(HWND from, WORD code) override;
    bool OnMnemonic(char upper) override;
    bool OnNavigationKey(HWND focus, WPARAM key) override;

private:
    void CreateButtons();
    void DestroyButtons();
    void ArrangeButtons();
    void UpdateChecks();
    int IndexOf(HWND hwnd) const;

    std::vector<std::string> items_;
    std::vector<HWND> buttons_;
    int itemIndex_ = -1;
    bool tabStop_ = true;
};

} // namespace oru
