#include <windows.h>

#include "install/ChooseInstallation.h"
#include "ui/ModalHook.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

using namespace oru;
using test::TimerScript;

namespace {

std::string ItemText(const TfrmChooseExe& dialog, size_t i) {
    char text[128] = {};
    GetWindowTextA(dialog.rgChooseExe->ItemHandle(i), text, sizeof text);
    return text;
}

} // namespace

// The hook presses OK; when that is refused it picks the second item and presses again.
TEST(ChooseInstallationSeam, OkReturnsTheSelectionAndWithNothingSelectedExplainsAndStaysOpen) {
    TModalRecorder recorder;
    std::vector<int> preselected;
    std::vector<std::string> texts;
    recorder.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        texts = {dialog.Caption(), ItemText(dialog, 0), ItemText(dialog, 1)};
        preselected.push_back(dialog.rgChooseExe->ItemIndex());
        dialog.btnOK->Click();
        if (dialog.ModalResult() == mrNone) {
            EXPECT_TRUE(dialog.Visible());
            EXPECT_EQ(dialog.rgChooseExe->ItemIndex(), -1);
            dialog.rgChooseExe->ClickItem(1);
            dialog.btnOK->Click();
        }
        return dialog.ModalResult();
    };
    EXPECT_EQ(ChooseInstallation(1), 1);
    EXPECT_EQ(ChooseInstallation(2), 2);
    EXPECT_EQ(ChooseInstallation(0), 2);
    EXPECT_EQ(ChooseInstallation(7), 2);
    EXPECT_EQ(preselected, (std::vector<int>{0, 1, -1, -1}));
    EXPECT_EQ(texts, (std::vector<std::string>{"ORU Parcelon", "&Local ORU Parcelon installation",
                                               "&Network ORU Parcelon installation"}));
    ASSERT_EQ(recorder.Messages.size(), 2u);
    EXPECT_EQ(recorder.Messages[0].Text, "A ORU Parcelon installation was not choosen.");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(recorder.Messages[0].Buttons, mbOK);
}

// In the real modal loop Escape is Cancel, which gives nothing whatever was selected.
TEST(ChooseInstallationReal, EscapeReturnsNothingEvenWithAPreselection) {
    ASSERT_EQ(ModalHook(), nullptr);
    TimerScript script({[] { test::PostKey(test::FindThreadForm("ORU Parcelon"), VK_ESCAPE); }});
    EXPECT_EQ(ChooseInstallation(2), 0);
}
