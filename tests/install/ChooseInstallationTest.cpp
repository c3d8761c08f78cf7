#include <windows.h>

#include "install/ChooseInstallation.h"
#include "ui/ModalHook.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

using namespace oru;
using test::TimerScript;

namespace {

std::string ItemText(const TfrmChooseExe& dialog, size_t i)
{
    char text[128] = {};
    GetWindowTextA(dialog.rgChooseExe->ItemHandle(i), text, sizeof text);
    return text;
}

} // namespace

TEST(ChooseInstallationSeam, LayoutAndTextsNameTheFlagshipProduct)
{
    TModalRecorder recorder;
    std::vector<std::string> items;
    recorder.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        EXPECT_EQ(dialog.ClientWidth(), 247);
        EXPECT_EQ(dialog.ClientHeight(), 125);
        EXPECT_EQ(dialog.rgChooseExe->Caption(), "Choose installation");
        items = {ItemText(dialog, 0), ItemText(dialog, 1)};
        EXPECT_EQ(dialog.DefaultButton(), dialog.btnOK);
        EXPECT_EQ(dialog.CancelButton(), dialog.btnCancel);
        // Tab order: the group's items, Cancel, OK.
        EXPECT_EQ(GetNextDlgTabItem(dialog.Handle(), dialog.rgChooseExe->ItemHandle(0), FALSE),
                  dialog.btnCancel->Handle());
        EXPECT_EQ(GetNextDlgTabItem(dialog.Handle(), dialog.btnCancel->Handle(), FALSE), dialog.btnOK->Handle());
        return mrCancel;
    };
    EXPECT_EQ(ChooseInstallation(0), 0);
    ASSERT_EQ(recorder.ModalForms, std::vector<std::string>{"ORU Parcelon"});
    EXPECT_EQ(items, (std::vector<std::string>{"&Local ORU Parcelon installation", "&Network ORU Parcelon installation"}));
}

TEST(ChooseInstallationSeam, IncomingChoicePreselectsAndOkReturnsIt)
{
    TModalRecorder recorder;
    std::vector<int> preselected;
    recorder.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        preselected.push_back(dialog.rgChooseExe->ItemIndex());
        dialog.btnOK->Click();
        return dialog.ModalResult();
    };
    EXPECT_EQ(ChooseInstallation(1), 1);
    EXPECT_EQ(ChooseInstallation(2), 2);
    // Nothing selected: OK is refused (the hook then ends with no result).
    EXPECT_EQ(ChooseInstallation(0), 0);
    EXPECT_EQ(ChooseInstallation(7), 0);
    EXPECT_EQ(preselected, (std::vector<int>{0, 1, -1, -1}));
}

TEST(ChooseInstallationSeam, OkWithNothingSelectedExplainsAndStaysOpen)
{
    TModalRecorder recorder;
    bool stayed = false;
    recorder.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        dialog.btnOK->Click();
        stayed = dialog.ModalResult() == mrNone && dialog.Visible() && dialog.rgChooseExe->ItemIndex() == -1;
        dialog.rgChooseExe->ClickItem(1);
        dialog.btnOK->Click();
        return dialog.ModalResult();
    };
    EXPECT_EQ(ChooseInstallation(0), 2);
    EXPECT_TRUE(stayed);
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "A ORU Parcelon installation was not choosen.");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(recorder.Messages[0].Buttons, mbOK);
}

TEST(ChooseInstallationSeam, CancelReturnsNothingEvenWithASelection)
{
    TModalRecorder recorder;
    recorder.OnShowModal = [](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        dialog.rgChooseExe->ClickItem(0);
        dialog.btnCancel->Click();
        return dialog.ModalResult();
    };
    uint8_t choice = 2;
    TfrmChooseExe dialog(nullptr, choice);
    EXPECT_EQ(choice, 0);
    EXPECT_EQ(dialog.Choice, 1) << "the form keeps what was clicked";
}

namespace {

TfrmChooseExe* OpenDialog()
{
    return static_cast<TfrmChooseExe*>(TForm::FromWindow(test::FindThreadForm("ORU Parcelon")));
}

} // namespace

TEST(ChooseInstallationReal, SecondItemAndEnterGiveTwo)
{
    ASSERT_EQ(ModalHook(), nullptr);
    HWND second = nullptr;
    TimerScript script({[&] {
                            TfrmChooseExe* dialog = OpenDialog();
                            ASSERT_NE(dialog, nullptr);
                            second = dialog->rgChooseExe->ItemHandle(1);
                            SendMessageA(second, BM_CLICK, 0, 0);
                        },
                        [&] { test::PostKey(second, VK_RETURN); }});
    EXPECT_EQ(ChooseInstallation(0), 2);
}

TEST(ChooseInstallationReal, OkWithNothingSelectedShowsTheBoxAndTheDialogStaysOpen)
{
    ASSERT_EQ(ModalHook(), nullptr);
    TfrmChooseExe* dialog = nullptr;
    std::string boxText;
    bool openAfterBox = false;
    int itemAfterBox = 99;
    TimerScript script({[&] {
                            dialog = OpenDialog();
                            ASSERT_NE(dialog, nullptr);
                            // Enter while the first item has the focus, as when the dialog opens.
                            test::PostKey(dialog->rgChooseExe->ItemHandle(0), VK_RETURN);
                        },
                        [&] {
                            HWND box = test::FindThreadMessageBox();
                            ASSERT_NE(box, nullptr);
                            boxText = test::MessageBoxText(box);
                            PostMessageA(box, WM_COMMAND, IDOK, 0);
                        },
                        [&] {
                            openAfterBox = dialog->Visible() && dialog->Modal() && dialog->ModalResult() == mrNone;
                            itemAfterBox = dialog->rgChooseExe->ItemIndex();
                            PostMessageA(dialog->Handle(), WM_CLOSE, 0, 0);
                        }});
    EXPECT_EQ(ChooseInstallation(0), 0);
    EXPECT_EQ(boxText, "A ORU Parcelon installation was not choosen.");
    EXPECT_TRUE(openAfterBox);
    EXPECT_EQ(itemAfterBox, -1);
}

TEST(ChooseInstallationReal, EscapeReturnsNothingEvenWithAPreselection)
{
    ASSERT_EQ(ModalHook(), nullptr);
    TimerScript script({[] { test::PostKey(test::FindThreadForm("ORU Parcelon"), VK_ESCAPE); }});
    EXPECT_EQ(ChooseInstallation(2), 0);
}

// The item letters choose an item, with Alt or (outside an edit) without it, and
// Enter then gives that item's number.
TEST(ChooseInstallationReal, ItemLettersChooseAndEnterGivesTheChoice)
{
    ASSERT_EQ(ModalHook(), nullptr);
    struct Row {
        UINT message;
        char letter;
        int preselected;
        int expected;
    };
    const Row rows[] = {{WM_SYSCHAR, 'n', 1, 2}, {WM_CHAR, 'N', 1, 2}, {WM_SYSCHAR, 'L', 2, 1}, {WM_CHAR, 'l', 0, 1}};
    for (const Row& row : rows) {
        TfrmChooseExe* dialog = nullptr;
        // Sent to the dialog's controls rather than to GetFocus(): other programs
        // on the test desktop may hold the focus for a moment.
        TimerScript script({[&] {
                                dialog = OpenDialog();
                                ASSERT_NE(dialog, nullptr);
                                PostMessageA(dialog->rgChooseExe->ItemHandle(0), row.message,
                                             static_cast<WPARAM>(row.letter), row.message == WM_SYSCHAR ? 1 << 29 : 1);
                            },
                            [&] { test::PostKey(dialog->rgChooseExe->ItemHandle(row.expected - 1), VK_RETURN); },
                            [&] {
                                if (dialog && dialog->Visible()) // the keys were lost: fail, do not hang
                                    PostMessageA(dialog->Handle(), WM_CLOSE, 0, 0);
                            }});
        EXPECT_EQ(ChooseInstallation(row.preselected), row.expected) << row.letter;
    }
}
