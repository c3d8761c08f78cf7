// The update window from the keyboard: keys are posted to the window that has the
// focus and go through the application's message loop, as a user's keys would.
#include <windows.h>

#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"
#include "update/Update.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace oru;

namespace {

// Run steps that stand in for the real ones, so keys can be sent while a step runs.
class KeyedWindow : public TfrmUpdate {
public:
    explicit KeyedWindow(const std::string& archive, const std::string& patch)
        : TfrmUpdate(nullptr, false, false, "C:\\Apps\\Parcelon\\", archive, patch, "01.23.00.00", false, "")
    {
    }
    std::function<void()> duringStep;
    void ExtractArchive() override { duringStep(); }
    // Input reaches the window during the patch step only through the engine's
    // callbacks, which process pending messages; duringStep plays one of them.
    void ApplyPatch() override { duringStep(); }
};

class UpdateWindowKeys : public ::testing::Test {
public:
    void SetUp() override
    {
        SetProductKind(1);
        SetPresortTablesFolderQuery([] { return std::string(); });
        Application().OnHelp = [this](int context) {
            helpAsked.push_back(context);
            return true;
        };
    }
    void TearDown() override
    {
        Application().OnHelp = nullptr;
        window.reset();
        SetPresortTablesFolderQuery(nullptr);
        ResetProductCatalogue();
        ClearCountiesTables();
    }

    KeyedWindow& Make(const std::string& archive, const std::string& patch)
    {
        window = std::make_unique<KeyedWindow>(archive, patch);
        window->Show();
        return *window;
    }
    // The focused control. Other test processes share the desktop and may hold the
    // foreground for a moment, so the window is activated until it has the focus.
    HWND Focus()
    {
        for (int i = 0; i < 100; ++i) {
            HWND focus = GetFocus();
            if (focus && IsChild(window->Handle(), focus))
                return focus;
            SetForegroundWindow(window->Handle());
            SetActiveWindow(window->Handle());
            Application().ProcessMessages();
            Sleep(20);
        }
        return nullptr;
    }
    void Key(WPARAM key)
    {
        HWND to = Focus();
        PostMessageA(to, WM_KEYDOWN, key, 1);
        PostMessageA(to, WM_KEYUP, key, 0xC0000001);
        Application().ProcessMessages();
    }
    void AltKey(char letter)
    {
        PostMessageA(Focus(), WM_SYSCHAR, static_cast<WPARAM>(letter), 1 << 29);
        Application().ProcessMessages();
    }
    void CloseBox()
    {
        PostMessageA(window->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Application().ProcessMessages();
    }
    // Counts the presses of Done without ending the program, which is for good.
    int CountDonePresses()
    {
        int presses = 0;
        auto original = window->btnCancel->OnClick;
        window->btnCancel->OnClick = [&] { ++presses; };
        Key(VK_RETURN);
        Key(VK_SPACE);
        AltKey('d');
        Key(VK_ESCAPE);
        window->btnCancel->OnClick = original;
        return presses;
    }

    TModalRecorder dialogs;
    std::unique_ptr<KeyedWindow> window;
    std::vector<int> helpAsked;
};

TEST_F(UpdateWindowKeys, WhileExtractingNeitherEscapeNorTheCloseBoxStopsTheRun)
{
    bool stillOpen = false;
    Make("Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.rtp").duringStep = [&] {
        window->btnHelp->SetFocus(); // where a user could tab to
        Key(VK_ESCAPE);
        AltKey('c');
        CloseBox();
        stillOpen = window->Visible() && !Application().Terminated();
    };
    window->UpdateFromArchive();
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(window->CancelRequested);
}

TEST_F(UpdateWindowKeys, WhileTheEngineRunsEscapeAndAltCCancelButTheCloseBoxIsRefused)
{
    struct Row {
        std::function<void(UpdateWindowKeys&)> press;
        bool cancels;
    };
    const Row rows[] = {
        {[](UpdateWindowKeys& t) { t.Key(VK_ESCAPE); }, true},
        {[](UpdateWindowKeys& t) { t.AltKey('c'); }, true},
        {[](UpdateWindowKeys& t) { t.CloseBox(); }, false},
    };
    for (const Row& row : rows) {
        bool visible = false;
        Make("", "Z:\\pkg\\ORU.RTP").duringStep = [&] {
            row.press(*this);
            visible = window->Visible();
        };
        window->UpdateFromPatch();
        EXPECT_EQ(window->CancelRequested, row.cancels);
        EXPECT_TRUE(visible);
        EXPECT_FALSE(Application().Terminated());
    }
}

TEST_F(UpdateWindowKeys, AtTheEndDoneHasTheFocusTabReachesHelpAndAltHOpensIt)
{
    Make("Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.rtp").duringStep = [&] { window->btnHelp->SetFocus(); };
    window->UpdateFromArchive();
    EXPECT_EQ(Focus(), window->btnCancel->Handle());
    EXPECT_EQ(CountDonePresses(), 4); // Enter, Space, Alt+D, Escape

    // Only the two buttons are tab stops: Tab goes from one to the other and back.
    Key(VK_TAB);
    EXPECT_EQ(Focus(), window->btnHelp->Handle());
    Key(VK_TAB);
    EXPECT_EQ(Focus(), window->btnCancel->Handle());

    AltKey('h');
    EXPECT_EQ(helpAsked, std::vector<int>{254});
    EXPECT_FALSE(Application().Terminated());
}

// Last in this program: termination is for good.
TEST_F(UpdateWindowKeys, AtTheEndEnterEndsTheProgramAndTheCloseBoxClosesTheWindow)
{
    Make("Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.rtp").duringStep = [] {};
    window->UpdateFromArchive();
    Key(VK_RETURN);
    EXPECT_TRUE(Application().Terminated());
    CloseBox();
    EXPECT_FALSE(window->Visible());
}

} // namespace
