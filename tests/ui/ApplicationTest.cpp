#include <windows.h>

#include "ui/Application.h"
#include "ui/ModalHook.h"

#include "platform/SysUtils.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace oru;

TEST(ApplicationExceptions, TheLoopReportsAHandlersExceptionByItsTextAndASilentAbortNot) {
    TModalRecorder recorder;
    struct Raiser : TForm {
        Raiser() : TForm({.Caption = "raiser"}) {}
        LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
            if (msg == WM_USER + 7)
                throw Exception("handler failed");
            if (msg == WM_USER + 8)
                throw EAbort();
            if (msg == WM_USER + 9)
                throw std::runtime_error("plain failure");
            return TForm::OnMessage(msg, w, l);
        }
    } raiser;
    for (UINT msg : {WM_USER + 7, WM_USER + 8, WM_USER + 9})
        PostMessageA(raiser.Handle(), msg, 0, 0);
    Application().ProcessMessages();
    ASSERT_EQ(recorder.Messages.size(), 2u);
    EXPECT_EQ(recorder.Messages[0].Text, "handler failed");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(recorder.Messages[0].Buttons, mbOK);
    EXPECT_EQ(recorder.Messages[1].Text, "plain failure");
}

// As the program runs: the main form hidden, every form destroyed at the end; and a
// start that stopped while the forms were made terminates before the loop runs.
TEST(ApplicationLoop, TheFirstFormIsTheMainFormRunKeepsItHiddenAndAllGoTogether) {
    TApplication app;
    auto* first = app.CreateForm<TForm>(TFormArgs{.Caption = "first"});
    auto* second = app.CreateForm<TForm>(TFormArgs{.Caption = "second"});
    HWND handles[] = {first->Handle(), second->Handle()};
    EXPECT_EQ(app.MainForm(), first);
    app.SetShowMainForm(false);
    bool visibleInLoop = true;
    test::TimerScript script({[&] {
        visibleInLoop = IsWindowVisible(handles[0]) != FALSE;
        app.Terminate();
    }});
    app.Run();
    EXPECT_EQ(script.StepsStarted(), 1u);
    EXPECT_FALSE(visibleInLoop);
    app.SetShowMainForm(true);
    app.Run(); // terminated already: returns without showing the form
    EXPECT_FALSE(first->Visible());
    app.DestroyForms();
    EXPECT_FALSE(IsWindow(handles[0]) || IsWindow(handles[1]));
    EXPECT_EQ(app.MainForm(), nullptr);
}
