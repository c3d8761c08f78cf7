#include <windows.h>

#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Memo.h"
#include "ui/RadioGroup.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

struct ControlsForm : TForm {
    ControlsForm() : TForm({.Caption = "Controls", .ClientWidth = 400, .ClientHeight = 300}) {}
};

} // namespace

TEST(Memo, LinesMatchTheControlTextBeyondAnEditControlsLimitWithTheLatestLineInView) {
    ControlsForm form;
    auto* memo = form.Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 300, 80}, .ReadOnly = true});
    form.Show();
    for (const char* line : {"first", " ", "", "last"})
        memo->Lines().Add(line);
    EXPECT_EQ(memo->ControlText(), "first\r\n \r\n\r\nlast");
    EXPECT_EQ(SendMessageA(memo->Handle(), EM_GETLINECOUNT, 0, 0), 4);
    memo->Lines().Clear();
    for (int i = 0; i < 400; ++i)
        memo->Lines().Add(Format("line %d ", i) + std::string(100, 'x'));
    EXPECT_EQ(memo->ControlText(), memo->Lines().Text());
    EXPECT_GT(memo->ControlText().size(), 32768u);
    // Adding keeps the caret at the end and the latest line in view.
    DWORD start = 0, end = 0;
    SendMessageA(memo->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(GetWindowTextLengthA(memo->Handle())));
    EXPECT_EQ(end, start);
    EXPECT_GT(SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 40);
}

class RadioGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        group = form.Add<TRadioGroup>(TRadioGroupArgs{
            .Bounds = {8, 8, 233, 81}, .Caption = "Choose", .Items = {"&Local", "&Network"}});
        group->OnClick = [this] { clicks.push_back(group->ItemIndex()); };
        form.Show();
    }
    bool Checked(size_t i) {
        return SendMessageA(group->ItemHandle(i), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool Key(size_t item, UINT message, WPARAM key) {
        return form.HandleDialogMessage(MSG{group->ItemHandle(item), message, key, 0, 0, {}});
    }
    ControlsForm form;
    TRadioGroup* group = nullptr;
    std::vector<int> clicks;
};

// A program's choice checks its item without a click event; the user's focus alone
// selects nothing, while clicks, arrows and mnemonics do.
TEST_F(RadioGroupTest, ChoicesCheckSilentlyFocusSelectsNothingClicksArrowsAndMnemonicsDo) {
    group->SetItemIndex(1);
    EXPECT_TRUE(Checked(1) && !Checked(0));
    // Tab enters the group at the chosen item only.
    EXPECT_FALSE(GetWindowLongA(group->ItemHandle(0), GWL_STYLE) & WS_TABSTOP);
    EXPECT_THROW(group->SetItemIndex(2), Exception);
    group->SetItemIndex(-1);
    SetFocus(group->ItemHandle(0));
    EXPECT_EQ(GetFocus(), group->ItemHandle(0));
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_FALSE(Checked(0) || Checked(1));
    EXPECT_TRUE(clicks.empty());

    EXPECT_TRUE(Key(0, WM_KEYDOWN, VK_DOWN));
    EXPECT_EQ(GetFocus(), group->ItemHandle(1));
    EXPECT_TRUE(Key(1, WM_KEYDOWN, VK_DOWN)); // wraps round
    EXPECT_TRUE(Key(0, WM_SYSCHAR, 'n'));
    SendMessageA(group->ItemHandle(0), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(0) && !Checked(1));
    EXPECT_EQ(clicks, (std::vector<int>{1, 0, 1, 0}));
}
