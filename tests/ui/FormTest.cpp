#include <windows.h>

#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/ModalHook.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

using namespace oru;
using test::PostKey;
using test::TimerScript;

namespace {

// A dialog with the three kinds of button and an edit to hold the focus.
class KeyForm : public TForm {
public:
    KeyForm() : TForm({.Caption = "Keys", .ClientWidth = 300, .ClientHeight = 120})
    {
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
    bool CloseQuery() override
    {
        ++closeQueries;
        return allowClose;
    }
};

bool HasDefaultStyle(const TButton* b) { return (GetWindowLongA(b->Handle(), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON; }

} // namespace

TEST(ButtonKinds, OneDefaultButtonPerForm)
{
    KeyForm form;
    EXPECT_EQ(form.DefaultButton(), form.ok);
    EXPECT_EQ(form.CancelButton(), form.cancel);
    EXPECT_TRUE(HasDefaultStyle(form.ok));

    form.custom->SetDefault(true);
    EXPECT_EQ(form.DefaultButton(), form.custom);
    EXPECT_FALSE(form.ok->Default());
    EXPECT_FALSE(HasDefaultStyle(form.ok));
    EXPECT_TRUE(HasDefaultStyle(form.custom));
}

TEST(ButtonKinds, HandlerCanTakeBackTheButtonsModalResult)
{
    KeyForm form;
    form.ok->OnClick = [&] { form.SetModalResult(mrNone); };
    form.ok->Click();
    EXPECT_EQ(form.ModalResult(), mrNone);
    form.cancel->Click();
    EXPECT_EQ(form.ModalResult(), mrCancel);
}

TEST(ModalKeys, EscapePressesTheCancelButtonEvenFromAnEdit)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    int cancelClicks = 0;
    form.cancel->OnClick = [&] { ++cancelClicks; };
    TimerScript script({[&] { PostKey(form.edit->Handle(), VK_ESCAPE); }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(cancelClicks, 1);
    EXPECT_FALSE(form.Visible());
}

TEST(ModalKeys, EnterPressesTheDefaultButtonAndFollowsTheDefaultProperty)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    TimerScript first({[&] { PostKey(form.edit->Handle(), VK_RETURN); }});
    EXPECT_EQ(form.ShowModal(), mrOk);

    form.custom->SetDefault(true);
    TimerScript second({[&] { PostKey(form.edit->Handle(), VK_RETURN); }});
    EXPECT_EQ(form.ShowModal(), mrRetry);
}

TEST(ModalKeys, EnterOnAFocusedButtonPressesThatButton)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    TimerScript script({[&] { PostKey(form.cancel->Handle(), VK_RETURN); }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(ModalKeys, DisabledOrHiddenButtonsIgnoreTheirKeys)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    form.cancel->SetEnabled(false);
    form.ok->Hide();
    TModalResult afterKeys = -1;
    TimerScript script({[&] { PostKey(form.edit->Handle(), VK_ESCAPE); },
                        [&] { PostKey(form.edit->Handle(), VK_RETURN); },
                        [&] {
                            afterKeys = form.ModalResult();
                            form.custom->Click();
                        }});
    EXPECT_EQ(form.ShowModal(), mrRetry);
    EXPECT_EQ(afterKeys, mrNone);
}

TEST(ModalKeys, AltMnemonicPressesTheButton)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    TimerScript script({[&] { PostMessageA(form.edit->Handle(), WM_SYSCHAR, 'r', 1 << 29); }});
    EXPECT_EQ(form.ShowModal(), mrRetry);
}

TEST(ModalClose, CloseBoxEndsWithCancelUnlessCloseQueryRefuses)
{
    ASSERT_EQ(ModalHook(), nullptr);
    KeyForm form;
    form.allowClose = false;
    bool stillOpen = false;
    TimerScript script({[&] { PostMessageA(form.Handle(), WM_CLOSE, 0, 0); },
                        [&] {
                            stillOpen = form.Visible() && form.Modal();
                            form.allowClose = true;
                            PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
                        }});
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(form.closeQueries, 2);
}

TEST(ModalClose, OtherWindowsAreDisabledWhileModal)
{
    ASSERT_EQ(ModalHook(), nullptr);
    TForm other({.Caption = "Other"});
    other.Show();
    KeyForm form;
    bool otherEnabledDuring = true;
    TimerScript script({[&] {
        otherEnabledDuring = IsWindowEnabled(other.Handle()) != FALSE;
        form.ok->Click();
    }});
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_FALSE(otherEnabledDuring);
    EXPECT_TRUE(IsWindowEnabled(other.Handle()));
}

TEST(ModelessForm, CloseRunsCloseQueryThenHides)
{
    KeyForm form;
    form.Show();
    form.allowClose = false;
    form.Close();
    EXPECT_TRUE(form.Visible());
    form.allowClose = true;
    form.Close();
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.closeQueries, 2);
}

TEST(ModelessForm, LayoutIsClientSizedAndCentred)
{
    TForm form({.Caption = "Layout", .ClientWidth = 412, .ClientHeight = 202});
    EXPECT_EQ(form.ClientWidth(), 412);
    EXPECT_EQ(form.ClientHeight(), 202);
    RECT r{};
    GetWindowRect(form.Handle(), &r);
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((r.left + r.right) / 2, screenW / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, screenH / 2, 1);
    LONG style = GetWindowLongA(form.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(form.Visible());
}

// Minimising any form minimises the program, whose task bar entry brings the form back.
TEST(ModelessForm, MinimiseHidesTheFormUntilTheApplicationIsRestored)
{
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
