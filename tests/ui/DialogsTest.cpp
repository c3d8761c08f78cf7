#include <windows.h>

#include "ui/Application.h"
#include "ui/MessageDlg.h"
#include "ui/ModalHook.h"
#include "ui/OpenDialog.h"

#include "platform/SysUtils.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(MessageDlgFlags, ASetAMessageBoxCannotShowIsRefusedBeforeAnyBox) {
    TModalRecorder recorder;
    EXPECT_THROW(MessageDlg("x", TMsgDlgType::mtError, mbYes | mbOK, 0), Exception);
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(ModalSeam, RecordersAnswerWithTheFirstButtonOrTheirHandlerNestAndRestoreThePreviousHook) {
    TModalRecorder outer;
    {
        TModalRecorder inner;
        EXPECT_EQ(MessageDlg("inner", TMsgDlgType::mtWarning, mbYes | mbNo, 12), mrYes);
        inner.OnMessageDlg = [](const TMessageDlgRequest& r) {
            return r.HelpContext == 12 ? mrNo : mrOk;
        };
        EXPECT_EQ(MessageDlg("inner", TMsgDlgType::mtWarning, mbYes | mbNo, 12), mrNo);
        EXPECT_EQ(inner.Messages.size(), 2u);
    }
    EXPECT_EQ(ModalHook(), &outer);
    EXPECT_TRUE(outer.Messages.empty());
}

TEST(OpenDialogFilter, PairsBecomeZeroSeparatedWithADoubleZeroEnd) {
    EXPECT_EQ(NativeFilter("A|*.a|B|*.b"), std::string("A\0*.a\0B\0*.b\0\0", 13));
    EXPECT_EQ(NativeFilter(""), "");
    EXPECT_THROW(NativeFilter("description only"), Exception);
    EXPECT_THROW(NativeFilter("a|b|c"), Exception);
}

TEST(MessageDlgReal, TheBoxShowsTitleTextAndHelpWhoseContextReachesTheApplication) {
    ASSERT_EQ(ModalHook(), nullptr);
    const std::string title = Format("Real box %lu", GetCurrentProcessId());
    Application().SetTitle(title);
    std::vector<int> helpAsked;
    Application().OnHelp = [&](int context) {
        helpAsked.push_back(context);
        return true;
    };
    std::string seenTitle(128, '\0'), seenText;
    bool hadHelpButton = false, hadCancelButton = true;
    test::TimerScript script({[&] {
        HWND box = test::FindThreadMessageBox();
        ASSERT_NE(box, nullptr);
        seenTitle.resize(GetWindowTextA(box, seenTitle.data(), 128));
        seenText = test::MessageBoxText(box);
        hadHelpButton = GetDlgItem(box, IDHELP) != nullptr;
        hadCancelButton = GetDlgItem(box, IDCANCEL) != nullptr;
        // What the Help button and F1 both send; the box stays.
        HELPINFO info{sizeof info, HELPINFO_WINDOW, 0, box, 0, {0, 0}};
        SendMessageA(box, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        SendMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(MessageDlg("Line one\rLine two", TMsgDlgType::mtConfirmation,
                         mbYes | mbNo | mbHelp, 1014),
              mrNo);
    Application().OnHelp = nullptr;
    EXPECT_EQ(seenTitle, title);
    EXPECT_EQ(seenText, "Line one\rLine two");
    EXPECT_TRUE(hadHelpButton && !hadCancelButton);
    EXPECT_EQ(helpAsked, std::vector<int>{1014});
}
