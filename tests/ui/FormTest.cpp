#include <windows.h>

#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/ModalHook.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace oru;
using test::TimerScript;

namespace {

// A dialog with the three kinds of button and an edit to hold the focus.
class KeyForm : public TForm {
public:
    KeyForm() : TForm({.Caption = "Keys", .ClientWidth = 300, .ClientHeight = 120}) {
        edit = Add<TEdit>(TEditArgs{.Bounds = {8, 8, 200, 21}});
        custom = Add<TButton>(
            TButtonArgs{.Bounds = {8, 80, 75, 25}, .Caption = "&Retry", .ModalResult = mrRetry});
        cancel =
            Add<TButton>(TButtonArgs{.Bounds = {90, 80, 75, 25}, .Kind = TButtonKind::bkCancel});
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

bool HasDefaultStyle(const TButton* b) {
    return (GetWindowLongA(b->Handle(), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

} // namespace

TEST(ModalKeys, KeysPressTheirButtonsUnlessDisabledOrHidden) {
    ASSERT_EQ(ModalHook(), nullptr);
    // A message posted to the edit, or to Cancel as the focused button.
    struct Post {
        bool toCancel;
        UINT message;
        WPARAM key;
    };
    const Post escape{false, WM_KEYDOWN, VK_ESCAPE}, enter{false, WM_KEYDOWN, VK_RETURN};
    struct Row {
        const char* name;
        std::function<void(KeyForm&)> prepare;
        std::vector<Post> posts;
        TModalResult result;
    } const rows[] = {
        {"Escape from an edit", nullptr, {escape}, mrCancel},
        {"Enter: the default button", nullptr, {enter}, mrOk},
        {"Enter follows the default, which alone has the style",
         [](KeyForm& f) {
             f.custom->SetDefault(true);
             EXPECT_TRUE(HasDefaultStyle(f.custom) && !HasDefaultStyle(f.ok) && !f.ok->Default());
         },
         {enter}, mrRetry},
        {"Enter on a focused button", nullptr, {{true, WM_KEYDOWN, VK_RETURN}}, mrCancel},
        {"Alt+mnemonic", nullptr, {{false, WM_SYSCHAR, 'r'}}, mrRetry},
        {"a plain letter in an edit is text", nullptr, {{false, WM_CHAR, 'r'}, escape}, mrCancel},
        {"disabled Cancel, hidden OK",
         [](KeyForm& f) {
             f.cancel->SetEnabled(false);
             f.ok->Hide();
         },
         {escape, enter}, mrRetry},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyForm form;
        int cancelClicks = 0;
        form.cancel->OnClick = [&] { ++cancelClicks; };
        if (row.prepare)
            row.prepare(form);
        // A key that did nothing leaves the loop open: Retry then ends it.
        TimerScript script({[&] {
                                for (const Post& p : row.posts)
                                    PostMessageA(p.toCancel ? form.cancel->Handle()
                                                            : form.edit->Handle(),
                                                 p.message, p.key, 1);
                            },
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
