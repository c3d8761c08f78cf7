#include <windows.h>

#include "install/ChooseInstallation.h"
#include "ui/ModalHook.h"

#include "ScriptedInput.h"

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
        EXPECT_EQ(dialog.btnOK->Caption(), "&OK");
        EXPECT_EQ(dialog.btnCancel->Caption(), "&Cancel");
        EXPECT_EQ(dialog.DefaultButton(), dialog.btnOK);
        EXPECT_EQ(dialog.CancelButton(), dialog.btnCancel);
        TBounds ok = dialog.btnOK->Bounds();
        EXPECT_EQ(ok.Left, 87);
        EXPECT_EQ(ok.Top, 96);
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

TEST(ChooseInstallationReal, SecondItemAndEnterGiveTwo)
{
    ASSERT_EQ(ModalHook(), nullptr);
    TimerScript script({[] {
                            // The dialog is the active window of this thread.
                            auto* dialog = static_cast<TfrmChooseExe*>(TForm::FromWindow(GetActiveWindow()));
                            ASSERT_NE(dialog, nullptr);
                            SendMessageA(dialog->rgChooseExe->ItemHandle(1), BM_CLICK, 0, 0);
                        },
                        [] { test::PostKey(VK_RETURN); }});
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
                            dialog = static_cast<TfrmChooseExe*>(TForm::FromWindow(GetActiveWindow()));
                            ASSERT_NE(dialog, nullptr);
                            // Enter on the freshly opened dialog: the focus sits on the first
                            // item, which must not have chosen it.
                            test::PostKey(VK_RETURN);
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
    TimerScript script({[] { test::PostKey(VK_ESCAPE); }});
    EXPECT_EQ(ChooseInstallation(2), 0);
}
