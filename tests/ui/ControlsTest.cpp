#include <windows.h>

#include "ui/Application.h"
#include "ui/Edit.h"
#include "ui/Form.h"
#include "ui/Memo.h"
#include "ui/ProgressMeter.h"
#include "ui/RadioGroup.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

struct ControlsForm : TForm {
    ControlsForm() : TForm({.Caption = "Controls", .ClientWidth = 400, .ClientHeight = 300}) {}
};

std::string WindowText(HWND hwnd)
{
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

} // namespace

TEST(Memo, LinesMatchTheControlText)
{
    ControlsForm form;
    auto* memo = form.Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 400, 100}, .ReadOnly = true});
    EXPECT_EQ(memo->Lines().Count(), 0u);
    memo->Lines().Add("first");
    memo->Lines().Add(" ");
    memo->Lines().Add("");
    memo->Lines().Add("last");
    ASSERT_EQ(memo->Lines().Count(), 4u);
    EXPECT_EQ(memo->Lines()[1], " ");
    EXPECT_EQ(memo->Lines()[2], "");
    EXPECT_EQ(memo->Lines().Text(), "first\r\n \r\n\r\nlast");
    EXPECT_EQ(memo->ControlText(), memo->Lines().Text());
    EXPECT_EQ(SendMessageA(memo->Handle(), EM_GETLINECOUNT, 0, 0), 4);
    EXPECT_THROW(memo->Lines()[4], std::out_of_range);

    memo->Lines().Clear();
    EXPECT_EQ(memo->Lines().Count(), 0u);
    EXPECT_EQ(memo->ControlText(), "");
    memo->Lines().Add("again");
    EXPECT_EQ(memo->ControlText(), "again");
}

TEST(Memo, AddingKeepsTheCaretAtTheEndAndTheLatestLineInView)
{
    ControlsForm form;
    auto* memo = form.Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 300, 80}, .ReadOnly = true});
    form.Show();
    for (int i = 0; i < 60; ++i)
        memo->Lines().Add(Format("line %d", i));
    DWORD start = 0, end = 0;
    SendMessageA(memo->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    auto length = static_cast<DWORD>(GetWindowTextLengthA(memo->Handle()));
    EXPECT_EQ(start, length);
    EXPECT_EQ(end, length);
    EXPECT_GT(SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 40);
}

TEST(Memo, HoldsMoreThanAnEditControlsDefaultLimit)
{
    ControlsForm form;
    auto* memo = form.Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 300, 80}});
    std::string line(100, 'x');
    for (int i = 0; i < 400; ++i)
        memo->Lines().Add(line);
    EXPECT_EQ(memo->ControlText().size(), memo->Lines().Text().size());
}

TEST(Memo, ReadOnlyMemoPaintsItsOwnColourAndFont)
{
    ControlsForm form;
    auto* memo = form.Add<TMemo>(TMemoArgs{.Bounds = {0, 0, 300, 80}, .ReadOnly = true, .Border = false,
                                           .TabStop = false, .Color = RGB(255, 255, 255),
                                           .FontName = "Lucida Console"});
    HDC dc = GetDC(memo->Handle());
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(memo->Handle())));
    ReleaseDC(memo->Handle(), dc);
    LOGBRUSH lb{};
    ASSERT_TRUE(GetObjectA(brush, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
    EXPECT_NE(memo->FontHandle(), form.Font().Handle());
}

TEST(ProgressMeter, PercentIsClampedAndReachesTheControl)
{
    ControlsForm form;
    auto* meter = form.Add<TProgressMeter>(TProgressMeterArgs{.Bounds = {40, 171, 209, 13}, .Visible = false});
    EXPECT_FALSE(meter->Visible());
    EXPECT_EQ(meter->Percent(), 0);
    meter->SetPercent(42);
    EXPECT_EQ(meter->Percent(), 42);
    EXPECT_EQ(meter->ControlPosition(), 42);
    meter->SetPercent(150);
    EXPECT_EQ(meter->Percent(), 100);
    EXPECT_EQ(meter->ControlPosition(), 100);
    meter->SetPercent(-5);
    EXPECT_EQ(meter->Percent(), 0);
    EXPECT_EQ(meter->ControlPosition(), 0);
    meter->Show();
    EXPECT_TRUE(meter->Visible());
}

class RadioGroupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        group = form.Add<TRadioGroup>(TRadioGroupArgs{.Bounds = {8, 8, 233, 81}, .Caption = "Choose",
                                                      .Items = {"&Local", "&Network"}});
        group->OnClick = [this] { clicks.push_back(group->ItemIndex()); };
        form.Show();
    }
    bool Checked(size_t i) { return SendMessageA(group->ItemHandle(i), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    ControlsForm form;
    TRadioGroup* group = nullptr;
    std::vector<int> clicks;
};

TEST_F(RadioGroupTest, ItemIndexDrivesTheChecksWithoutClickEvents)
{
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_FALSE(Checked(0));
    EXPECT_FALSE(Checked(1));
    group->SetItemIndex(1);
    EXPECT_TRUE(Checked(1));
    EXPECT_FALSE(Checked(0));
    group->SetItemIndex(-1);
    EXPECT_FALSE(Checked(1));
    EXPECT_TRUE(clicks.empty());
    EXPECT_THROW(group->SetItemIndex(2), Exception);
    EXPECT_THROW(group->SetItemIndex(-2), Exception);
    EXPECT_EQ(group->ItemIndex(), -1);
}

TEST_F(RadioGroupTest, AClickOnAnItemSelectsItAndRunsOnClick)
{
    SendMessageA(group->ItemHandle(1), BM_CLICK, 0, 0);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(Checked(1));
    SendMessageA(group->ItemHandle(0), BM_CLICK, 0, 0);
    EXPECT_EQ(group->ItemIndex(), 0);
    EXPECT_FALSE(Checked(1));
    EXPECT_EQ(clicks, (std::vector<int>{1, 0}));
}

TEST_F(RadioGroupTest, FocusAloneSelectsNothing)
{
    SetFocus(group->ItemHandle(0));
    EXPECT_EQ(GetFocus(), group->ItemHandle(0));
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_FALSE(Checked(0));
    EXPECT_TRUE(clicks.empty());
}

TEST_F(RadioGroupTest, ArrowsAndMnemonicsSelectItems)
{
    SetFocus(group->ItemHandle(0));
    MSG down{group->ItemHandle(0), WM_KEYDOWN, VK_DOWN, 0, 0, {}};
    EXPECT_TRUE(form.HandleDialogMessage(down));
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(GetFocus(), group->ItemHandle(1));
    MSG downAgain{group->ItemHandle(1), WM_KEYDOWN, VK_DOWN, 0, 0, {}};
    EXPECT_TRUE(form.HandleDialogMessage(downAgain)); // wraps round
    EXPECT_EQ(group->ItemIndex(), 0);
    MSG altN{group->ItemHandle(0), WM_SYSCHAR, 'n', 0, 0, {}};
    EXPECT_TRUE(form.HandleDialogMessage(altN));
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_EQ(clicks, (std::vector<int>{1, 0, 1}));
}

TEST_F(RadioGroupTest, ReplacedItemsKeepTheirPlaceInTheTabOrder)
{
    group->SetItem(0, "&Local ORU Parcelon installation");
    EXPECT_EQ(WindowText(group->ItemHandle(0)), "&Local ORU Parcelon installation");
    EXPECT_EQ(group->Items()[0], "&Local ORU Parcelon installation");
    group->SetItems({"&A", "&B", "&C"});
    ASSERT_EQ(group->Items().size(), 3u);
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_EQ(GetWindow(group->Handle(), GW_HWNDNEXT), group->ItemHandle(0));
    EXPECT_EQ(GetWindow(group->ItemHandle(0), GW_HWNDNEXT), group->ItemHandle(1));
}
