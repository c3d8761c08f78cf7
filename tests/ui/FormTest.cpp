#include <windows.h>

#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/ModalHook.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

#include <functional>

using namespace oru;
using test::PostKey;
using test::TimerScript;

namespace {

// A dialog with the three kinds of button and an edit to hold the focus.
class KeyForm : public TForm {
public:
    KeyForm() : TForm({.Caption = "Keys", .ClientWidth = 300, .ClientHeight = 120}) {
        edit = Add<TEdit>(TEditArgs{.Bounds = {8, 8, 200, 21}});
        custom = Add<TButton>(TButtonArgs{.Bounds = {8, 80, 75, 25}, .Caption = "&Retry", .ModalResult = mrRetry});
        cancel = Add<TButton>(TButtonArgs{.Bounds = {90, 80, 75, 25}, .Kind = TButtonKind::bkCancel});
        ok = Add<TButton>(TButtonArgs{.Bounds = {170, 80, 75, 25}, .Kind = TButtonKind::bkOK});
    }
    TEdit* edit;
    TButton* custom;
    TButton* cancel;
    TButton* ok;
    bool allowClose = true;
    int closeQueries = 0;

protected:
    bool CloseQuery() override {
        ++closeQueries;
        return allowClose;
    }
};

bool HasDefaultStyle(const TButton* b) { return (GetWindowLongA(b->Handle(), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON; }

} // namespace

TEST(ModalKeys, KeysPressTheirButtonsUnlessDisabledOrHidden) {
    ASSERT_EQ(ModalHook(), nullptr);
    using Step = std::function<void(KeyForm&)>;
    const auto toEdit = [](WPARAM key) { return Step([key](KeyForm& f) { PostKey(f.edit->Handle(), key); }); };
    struct Row {
        const char* name;
        Step prepare, press;
        TModalResult result;
    };
    const Row rows[] = {
        {"Escape from an edit", nullptr, toEdit(VK_ESCAPE), mrCancel},
        {"Enter: the default button", nullptr, toEdit(VK_RETURN), mrOk},
        {"Enter follows the default, which alone has the style",
         [](KeyForm& f) {
             f.custom->SetDefault(true);
             EXPECT_TRUE(HasDefaultStyle(f.custom) && !HasDefaultStyle(f.ok) && !f.ok->Default());
         },
         toEdit(VK_RETURN), mrRetry},
        {"Enter on a focused button", nullptr, [](KeyForm& f) { PostKey(f.cancel->Handle(), VK_RETURN); }, mrCancel},
        {"Alt+mnemonic", nullptr, [](KeyForm& f) { PostMessageA(f.edit->Handle(), WM_SYSCHAR, 'r', 1 << 29); },
         mrRetry},
        {"a plain letter in an edit is text", nullptr,
         [](KeyForm& f) {
             PostMessageA(f.edit->Handle(), WM_CHAR, 'r', 1);
             PostKey(f.edit->Handle(), VK_ESCAPE);
         },
         mrCancel},
        {"disabled Cancel, hidden OK",
         [](KeyForm& f) {
             f.cancel->SetEnabled(false);
             f.ok->Hide();
         },
         [](KeyForm& f) {
             PostKey(f.edit->Handle(), VK_ESCAPE);
             PostKey(f.edit->Handle(), VK_RETURN);
         },
         mrRetry},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyForm form;
        int cancelClicks = 0;
        form.cancel->OnClick = [&] { ++cancelClicks; };
        if (row.prepare)
            row.prepare(form);
        // A key that did nothing leaves the loop open: Retry then ends it.
        TimerScript script({[&] { row.press(form); },
                            [&] {
                                if (form.ModalResult() == mrNone)
                                    form.custom->Click();
                            }});
        EXPECT_EQ(form.ShowModal(), row.result);
        EXPECT_EQ(cancelClicks, row.result == mrCancel ? 1 : 0);
        EXPECT_FALSE(form.Visible());
    }
}

TEST(ModalClose, OtherWindowsAreDisabledAndTheCloseBoxEndsWithCancelUnlessCloseQueryRefuses) {
    ASSERT_EQ(ModalHook(), nullptr);
    TForm other({.Caption = "Other"}), disabled({.Caption = "Disabled"});
    other.Show();
    disabled.Show();
    EnableWindow(disabled.Handle(), FALSE); // and so it stays
    KeyForm form;
    form.allowClose = false;
    bool otherEnabledDuring = true, stillOpen = false;
    TimerScript script({[&] {
                            otherEnabledDuring = IsWindowEnabled(other.Handle()) != FALSE;
                            PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
                        },
                        [&] {
                            stillOpen = form.Visible() && form.Modal();
                            form.allowClose = true;
                            PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
                        }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(form.closeQueries, 2);
    EXPECT_FALSE(otherEnabledDuring);
    EXPECT_TRUE(IsWindowEnabled(other.Handle()));
    EXPECT_FALSE(IsWindowEnabled(disabled.Handle()));
}

// Minimising any form minimises the program, whose task bar entry brings the form back.
TEST(ModelessForm, MinimiseHidesTheFormUntilTheApplicationIsRestored) {
    TForm form({.Caption = "Minimise"});
    form.Show();
    ASSERT_EQ(GetWindow(form.Handle(), GW_OWNER), Application().Handle());
    SendMessageA(form.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(Application().Handle()));
    EXPECT_FALSE(form.Visible());
    SendMessageA(Application().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(Application().Handle()));
    EXPECT_TRUE(form.Visible());
    form.Hide();
}
