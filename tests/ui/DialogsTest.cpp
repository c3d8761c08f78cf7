#include <windows.h>

#include "ui/Application.h"
#include "ui/Button.h"
#include "ui/MessageDlg.h"
#include "ui/ModalHook.h"
#include "ui/OpenDialog.h"

#include "platform/SysUtils.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

using namespace oru;

TEST(MessageDlgFlags, HelpAddsTheHelpButtonToAnySet)
{
    EXPECT_EQ(MessageBoxFlags(TMsgDlgType::mtError, mbOK | mbHelp), unsigned(MB_OK | MB_HELP | MB_ICONERROR));
    EXPECT_EQ(MessageBoxFlags(TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel | mbHelp),
              unsigned(MB_YESNOCANCEL | MB_HELP | MB_ICONQUESTION));
}

TEST(MessageDlgFlags, SetsAMessageBoxCannotShowAreRefused)
{
    EXPECT_THROW(MessageBoxFlags(TMsgDlgType::mtError, 0), Exception);
    EXPECT_THROW(MessageBoxFlags(TMsgDlgType::mtError, mbYes | mbOK), Exception);
    EXPECT_THROW(MessageBoxFlags(TMsgDlgType::mtError, mbHelp), Exception);
    TModalRecorder recorder;
    EXPECT_THROW(MessageDlg("x", TMsgDlgType::mtError, mbNo, 0), Exception);
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST(ModalSeam, MessageDialogsAreRecordedAndAnswered)
{
    TModalRecorder recorder;
    Application().SetTitle("Seam Title");
    EXPECT_EQ(MessageDlg("first\rsecond", TMsgDlgType::mtWarning, mbYes | mbNo, 12), mrYes);
    recorder.OnMessageDlg = [](const TMessageDlgRequest& r) { return r.HelpContext == 5 ? mrCancel : mrOk; };
    EXPECT_EQ(MessageDlg("two", TMsgDlgType::mtConfirmation, mbOK | mbCancel | mbHelp, 5), mrCancel);
    ASSERT_EQ(recorder.Messages.size(), 2u);
    const TMessageDlgRequest& first = recorder.Messages[0];
    EXPECT_EQ(first.Title, "Seam Title");
    EXPECT_EQ(first.Text, "first\rsecond");
    EXPECT_EQ(first.Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(first.Buttons, mbYes | mbNo);
    EXPECT_EQ(first.HelpContext, 12);
    EXPECT_EQ(recorder.Messages[1].Buttons, mbOK | mbCancel | mbHelp);
}

TEST(ModalSeam, RecordersNestAndRestoreThePreviousHook)
{
    TModalRecorder outer;
    {
        TModalRecorder inner;
        MessageDlg("inner", TMsgDlgType::mtInformation, mbOK, 0);
        EXPECT_EQ(inner.Messages.size(), 1u);
    }
    MessageDlg("outer", TMsgDlgType::mtInformation, mbOK, 0);
    ASSERT_EQ(outer.Messages.size(), 1u);
    EXPECT_EQ(outer.Messages[0].Text, "outer");
    EXPECT_EQ(ModalHook(), &outer);
}

TEST(ModalSeam, OpenDialogsAreRecordedAndAnswered)
{
    TModalRecorder recorder;
    TOpenDialog dialog;
    dialog.Title = "Locate parcelon.exe";
    dialog.DefaultExt = "exe";
    dialog.FileName = "parcelon.exe";
    dialog.Filter = "parcelon.exe program|parcelon.exe";
    dialog.Options = ofHideReadOnly | ofNoChangeDir | ofPathMustExist | ofFileMustExist;
    dialog.InitialDir = "C:\\Users\\Desk";
    EXPECT_FALSE(dialog.Execute()); // the default answer is "cancelled"
    recorder.OnOpenDialog = [](TOpenDialog& d) {
        d.FileName = "X:\\Prog\\parcelon.exe";
        return true;
    };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, "X:\\Prog\\parcelon.exe");
    ASSERT_EQ(recorder.OpenDialogs.size(), 2u);
    const TOpenDialogSettings& seen = recorder.OpenDialogs[1];
    EXPECT_EQ(seen.Title, "Locate parcelon.exe");
    EXPECT_EQ(seen.DefaultExt, "exe");
    EXPECT_EQ(seen.FileName, "parcelon.exe"); // as it was when shown
    EXPECT_EQ(seen.Filter, "parcelon.exe program|parcelon.exe");
    EXPECT_EQ(seen.FilterIndex, 1);
    EXPECT_EQ(seen.Options, ofHideReadOnly | ofNoChangeDir | ofPathMustExist | ofFileMustExist);
    EXPECT_EQ(seen.InitialDir, "C:\\Users\\Desk");
}

TEST(OpenDialogFilter, PairsBecomeZeroSeparatedWithADoubleZeroEnd)
{
    EXPECT_EQ(NativeFilter("a program|a.exe"), std::string("a program\0a.exe\0\0", 17));
    EXPECT_EQ(NativeFilter("A|*.a|B|*.b"), std::string("A\0*.a\0B\0*.b\0\0", 13));
    EXPECT_EQ(NativeFilter(""), "");
    EXPECT_THROW(NativeFilter("description only"), Exception);
    EXPECT_THROW(NativeFilter("a|b|c"), Exception);
    TModalRecorder recorder;
    TOpenDialog dialog;
    dialog.Filter = "broken";
    EXPECT_THROW(dialog.Execute(), Exception);
    EXPECT_TRUE(recorder.OpenDialogs.empty());
}

TEST(ModalSeam, ModalFormsGoToTheHookWhichCanClickTheirControls)
{
    TModalRecorder recorder;
    TForm form({.Caption = "Seam form", .ClientWidth = 200, .ClientHeight = 100});
    auto* ok = form.Add<TButton>(TButtonArgs{.Bounds = {10, 60, 75, 25}, .Kind = TButtonKind::bkOK});
    bool wasModalAndVisible = false;
    recorder.OnShowModal = [&](TForm& shown) {
        wasModalAndVisible = shown.Modal() && shown.Visible();
        ok->Click();
        return shown.ModalResult();
    };
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_TRUE(wasModalAndVisible);
    EXPECT_FALSE(form.Modal());
    EXPECT_FALSE(form.Visible());
    ASSERT_EQ(recorder.ModalForms.size(), 1u);
    EXPECT_EQ(recorder.ModalForms[0], "Seam form");

    recorder.OnShowModal = nullptr; // default answer: cancel
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

namespace {
std::vector<int> HelpAsked;
} // namespace

TEST(MessageDlgReal, BoxShowsTitleTextAndHelpButtonAndHelpReachesTheApplication)
{
    ASSERT_EQ(ModalHook(), nullptr);
    std::string title = Format("Real box %lu", GetCurrentProcessId());
    Application().SetTitle(title);
    HelpAsked.clear();
    Application().OnHelp = [](int context) {
        HelpAsked.push_back(context);
        return true;
    };
    std::string seenTitle, seenText;
    bool hadHelpButton = false, hadCancelButton = true;
    test::TimerScript script({[&] {
        HWND box = test::FindThreadMessageBox();
        ASSERT_NE(box, nullptr);
        char caption[128] = {};
        GetWindowTextA(box, caption, sizeof caption);
        seenTitle = caption;
        seenText = test::MessageBoxText(box);
        hadHelpButton = GetDlgItem(box, IDHELP) != nullptr;
        hadCancelButton = GetDlgItem(box, IDCANCEL) != nullptr;
        // Help first (the box stays), then OK. The help request is what the Help
        // button and F1 both send to the box.
        HELPINFO info{sizeof info, HELPINFO_WINDOW, 0, box, 0, {0, 0}};
        SendMessageA(box, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }});
    TModalResult result = MessageDlg("Line one\rLine two", TMsgDlgType::mtError, mbOK | mbHelp, 1014);
    Application().OnHelp = nullptr;
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(seenTitle, title);
    EXPECT_NE(seenText.find("Line one"), std::string::npos) << seenText;
    EXPECT_NE(seenText.find("Line two"), std::string::npos) << seenText;
    EXPECT_TRUE(hadHelpButton);
    EXPECT_FALSE(hadCancelButton);
    EXPECT_EQ(HelpAsked, std::vector<int>{1014});
}

TEST(MessageDlgReal, TheAnswerIsTheButtonPressed)
{
    ASSERT_EQ(ModalHook(), nullptr);
    test::TimerScript script({[] {
        HWND box = test::FindThreadMessageBox();
        ASSERT_NE(box, nullptr);
        SendMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(MessageDlg("Go on?", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0), mrNo);
}
