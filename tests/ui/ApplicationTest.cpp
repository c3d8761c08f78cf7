#include <windows.h>

#include "ui/Application.h"
#include "ui/ModalHook.h"

#include "platform/SysUtils.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace oru;

namespace {

class ProbeForm : public TForm {
public:
    explicit ProbeForm(const std::string& caption, bool* destroyed = nullptr)
        : TForm({.Caption = caption}), destroyed_(destroyed)
    {
    }
    ~ProbeForm() override
    {
        if (destroyed_)
            *destroyed_ = true;
    }

private:
    bool* destroyed_;
};

} // namespace

TEST(ApplicationExceptions, SilentAbortShowsNothingOthersShowTheirText)
{
    TModalRecorder recorder;
    Application().HandleException(EAbort());
    EXPECT_TRUE(recorder.Messages.empty());

    Application().HandleException(Exception("The archive is damaged"));
    Application().HandleException(std::runtime_error("plain failure"));
    ASSERT_EQ(recorder.Messages.size(), 2u);
    EXPECT_EQ(recorder.Messages[0].Text, "The archive is damaged");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(recorder.Messages[0].Buttons, mbOK);
    EXPECT_EQ(recorder.Messages[0].Title, Application().Title());
    EXPECT_EQ(recorder.Messages[1].Text, "plain failure");
}

TEST(ApplicationExceptions, ExceptionFromAHandlerIsReportedByTheLoop)
{
    // A message whose window procedure raises: the loop reports it and goes on.
    TModalRecorder recorder;
    struct Raiser : TForm {
        Raiser() : TForm({.Caption = "raiser2"}) {}
        LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override
        {
            if (msg == WM_USER + 7)
                throw Exception("handler failed");
            return TForm::OnMessage(msg, w, l);
        }
    } raiser;
    PostMessageA(raiser.Handle(), WM_USER + 7, 0, 0);
    Application().ProcessMessages();
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "handler failed");
}

TEST(ApplicationObject, TitleAndExeNameComeFromTheProgramFile)
{
    std::string exe = Application().ExeName();
    ASSERT_GT(exe.size(), 4u);
    EXPECT_TRUE(SameText(exe.substr(exe.size() - 4), ".exe")) << exe;
    EXPECT_NE(exe.find(':'), std::string::npos) << "a full Windows path: " << exe;
    TApplication fresh;
    size_t slash = exe.find_last_of('\\');
    EXPECT_EQ(fresh.Title(), exe.substr(slash + 1, exe.size() - slash - 5));
}

TEST(ApplicationObject, HelpGoesToTheHandlerWithItsContext)
{
    std::vector<int> asked;
    Application().OnHelp = [&](int context) {
        asked.push_back(context);
        return true;
    };
    Application().SetHelpFile("Z:\\nowhere\\none.hlp");
    Application().HelpContext(254);
    Application().OnHelp = nullptr;
    Application().SetHelpFile("");
    EXPECT_EQ(asked, std::vector<int>{254});
}

TEST(ApplicationForms, FirstCreatedFormIsTheMainFormAndDiesLast)
{
    TApplication app;
    bool firstGone = false, secondGone = false;
    auto* first = app.CreateForm<ProbeForm>("first", &firstGone);
    auto* second = app.CreateForm<ProbeForm>("second", &secondGone);
    EXPECT_EQ(app.MainForm(), first);
    EXPECT_NE(app.MainForm(), second);
    HWND firstHandle = first->Handle();
    app.DestroyForms();
    EXPECT_TRUE(firstGone);
    EXPECT_TRUE(secondGone);
    EXPECT_FALSE(IsWindow(firstHandle));
    EXPECT_EQ(app.MainForm(), nullptr);
}

namespace {
TApplication* LoopApp = nullptr;
bool MainVisibleInLoop = true;
} // namespace

TEST(ApplicationLoop, RunReturnsAtOnceWhenTerminatedDuringCreation)
{
    TApplication app;
    auto* form = app.CreateForm<ProbeForm>("terminated early");
    app.Terminate();
    app.Run();
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(form->Visible());
}

TEST(ApplicationLoop, RunServesMessagesUntilTerminateAndKeepsAHiddenMainFormHidden)
{
    TApplication app;
    LoopApp = &app;
    auto* form = app.CreateForm<ProbeForm>("hidden main");
    app.SetShowMainForm(false);
    MainVisibleInLoop = true;
    HWND handle = form->Handle();
    test::TimerScript script({[handle] {
        MainVisibleInLoop = IsWindowVisible(handle) != FALSE;
        LoopApp->Terminate();
    }});
    app.Run();
    LoopApp = nullptr;
    EXPECT_EQ(script.StepsStarted(), 1u);
    EXPECT_FALSE(MainVisibleInLoop);
    EXPECT_TRUE(app.Terminated());
}

TEST(ApplicationLoop, RunShowsTheMainFormWhenAsked)
{
    TApplication app;
    LoopApp = &app;
    auto* form = app.CreateForm<ProbeForm>("shown main");
    HWND handle = form->Handle();
    MainVisibleInLoop = false;
    test::TimerScript script({[handle] {
        MainVisibleInLoop = IsWindowVisible(handle) != FALSE;
        LoopApp->Terminate();
    }});
    app.Run();
    LoopApp = nullptr;
    EXPECT_TRUE(MainVisibleInLoop);
}
