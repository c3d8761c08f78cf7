// The update window with stand-in run steps, so that every ending can be chosen.
#include <windows.h>

#include "UpdateFormFixture.h"
#include "update/RTPatchErrors.h"

#include "support/Files.h"
#include "support/Scratch.h"
#include "support/SystemFolders.h"

#include <functional>
#include <tuple>

using namespace oru;
using namespace oru::test;

namespace {

const std::string Frame = " -------------------------------------------------------";
const std::string EmptyFrame = " |                                                     |";
const char* const Mcu = "Z:\\pkg\\ORU.mcu";
const char* const Rtp = "Z:\\pkg\\ORU.rtp";
using RunOp = void (TfrmUpdate::*)();
const RunOp Archive = &TfrmUpdate::UpdateFromArchive, Patch = &TfrmUpdate::UpdateFromPatch,
          Both = &TfrmUpdate::UpdateFromArchiveAndPatch;

// A window whose run steps are whatever the test says.
class ScriptedWindow : public TfrmUpdate {
public:
    using TfrmUpdate::TfrmUpdate;
    std::function<void(ScriptedWindow&)> extract, patch;
    bool cancelEnabledAtPatch = false, countyTableHeld = false;

    void ExtractArchive() override {
        countyTableHeld |= !CountiesTableSlot(0).empty();
        AddHistory("extracted");
        if (extract)
            extract(*this);
    }
    void ApplyPatch() override {
        cancelEnabledAtPatch = btnCancel->Enabled();
        countyTableHeld |= !CountiesTableSlot(0).empty();
        AddHistory("patched");
        if (patch)
            patch(*this);
    }
};

class UpdateWindow : public UpdateFormTest {
protected:
    ScriptedWindow& Make(const std::string& version = "01.23.00.00", const std::string& extra = "",
                         const std::string& update = Mcu, const std::string& patch = Rtp) {
        window = &MakeForm<ScriptedWindow>({.UpdateArchivePath = update, .PatchArchivePath = patch,
                                            .Version = version, .ExtraMessage = extra});
        window->Show();
        dialogs.Messages.clear();
        return *window;
    }
    // What the run wrote after the banner's 11 lines.
    Lines RunLines() const { return {History().begin() + 11, History().end()}; }
    // The focused control. Other test processes share the desktop and may hold the
    // foreground for a moment, so the window is activated until it has the focus.
    HWND Focus() {
        HWND focus = GetFocus();
        for (int i = 0; i < 100 && !(focus && IsChild(window->Handle(), focus)); ++i) {
            SetForegroundWindow(window->Handle());
            SetActiveWindow(window->Handle());
            Application().ProcessMessages();
            Sleep(20);
            focus = GetFocus();
        }
        return focus;
    }
    void Key(WPARAM key) {
        PostMessageA(Focus(), WM_KEYDOWN, key, 1);
        Application().ProcessMessages();
    }

    ScriptedWindow* window = nullptr;
};

} // namespace

TEST_F(UpdateWindow, BannerFramesTheTitleAndNamesTheVersionOrTheDate) {
    Make("01.23.00.00");
    const Lines expected = {
        Frame,
        " |                    ORU Parcelon                     |",
        EmptyFrame,
        " |                     True 32 Bit                     |",
        " |            Parcelon Software System for             |",
        " |         Microsoft Windows Operating Systems         |",
        EmptyFrame,
        " ",
        Frame,
        " ",
        " **********  Update to version   01.23.00.00  **********",
    };
    EXPECT_EQ(History(), expected);
    // The log is the program's: the user reads it but cannot type into it.
    EXPECT_TRUE(GetWindowLongA(window->History->Handle(), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(window->Caption(), "ORU Parcelon Update");
    Make("* 12/01/2010");
    EXPECT_EQ(History().at(10), " **************  Update as of 12/01/2010  **************");
    Make("*");
    EXPECT_EQ(History().at(10), " **************  Update as of   **************");
}

// Only a patch-only .rtp package can be cancelled from the start, and a patch-only
// run leaves it so; the combined run enables Cancel for an .rtp patch step.
TEST_F(UpdateWindow, CancelIsEnabledForAnRtpPatchAloneOrForTheCombinedRunsPatchStep) {
    const std::tuple<std::string, std::string, bool, bool> rows[] = {
        // update, patch, enabled at the start, at the combined run's patch step
        {Mcu, Rtp, false, true},
        {"", "Z:\\pkg\\ORU.RTP", true, true},
        {Mcu, "", false, false},
        {"", "", false, false},
        {"Z:\\pkg\\ORU.zip", Rtp, true, true},
        {"", "Z:\\p.rtp\\ORU", false, false},
        {"", "Z:\\pkg\\ORU.rtpx", false, false},
        {Mcu, "Z:\\pkg\\ORU.pat", false, false},
    };
    for (const auto& [update, patch, atStart, atCombinedPatch] : rows) {
        SCOPED_TRACE(update + " / " + patch);
        for (RunOp run : {Patch, Both}) {
            Make("01.23.00.00", "", update, patch);
            EXPECT_EQ(window->btnCancel->Enabled(), atStart);
            EXPECT_EQ(window->btnCancel->Caption(), "&Cancel");
            (window->*run)();
            EXPECT_EQ(window->cancelEnabledAtPatch, run == Patch ? atStart : atCombinedPatch);
        }
    }
}

// Whatever the ending, the county table was released before the steps and is loaded
// again at the end.
TEST_F(UpdateWindow, EveryEndingWritesItsLinesShowsItsBoxesOffersDoneAndReloadsTheCounties) {
    test::TScratch scratch("window");
    presortFolder = scratch.Dir();
    scratch.Write("COUNTIES.TBL", "ABCDE"); // one record
    LoadCountiesTable(0, "");
    // A step that shows `current` as its file and fails with what `raise` throws.
    const auto fails = [](std::function<void()> raise, const char* current = "") {
        return [=](ScriptedWindow& w) {
            w.edCurrentFile->SetText(current);
            raise();
        };
    };
    const auto restarts = [](ScriptedWindow& w) { w.RestartRequired = true; };
    const char* const file = "Extracting - C:\\Apps\\Parcelon\\a.dll";
    const std::string failedAt = "Error updating - " + std::string(file);
    const std::string updated = "ORU Parcelon is updated to version 01.23.00.00.";
    const std::string failed = "ORU Parcelon update failed";
    const auto diskFull = [] { throw Exception("Disk full"); };
    const auto aborted = [] { throw ERTPatchAborted("Patch was aborted."); };
    struct Row {
        const char* name;
        RunOp run;
        std::string version, extra;
        std::function<void(ScriptedWindow&)> extract, patch;
        Lines lines, boxes;
    } const rows[] = {
        {"archive, notice", Archive, "01.23.00.00", "Read the notes.", nullptr, nullptr,
         {"extracted", " ", updated}, {"info: Read the notes."}},
        {"archive fails: no blank line", Archive, "01.23.00.00", "Never shown.",
         fails(diskFull, file), nullptr, {"extracted", failedAt, failed}, {"error: Disk full"}},
        {"archive: an abort is a failure", Archive, "01.23.00.00", "", fails(aborted), nullptr,
         {"extracted", failed}, {"error: Patch was aborted."}},
        {"archive: no restart", Archive, "01.23.00.00", "", restarts, nullptr,
         {"extracted", " ", updated}, {}},
        {"patch aborted", Patch, "", "", nullptr, fails(aborted, "parcelon.exe"),
         {"patched", " ", "ORU Parcelon update aborted"}, {"error: Patch was aborted."}},
        {"patch fails", Patch, "01.23.00.00", "", nullptr,
         fails([] { throw ERTPatch("Fatal .RTPatch error : 7"); }, "parcelon.exe"),
         {"patched", "Error updating - parcelon.exe", " ", failed},
         {"error: Fatal .RTPatch error : 7"}},
        // An engine that cannot be loaded has had its own report.
        {"patch: silent abort", Patch, "01.23.00.00", "", nullptr, fails([] { throw EAbort(); }),
         {"patched", " ", failed}, {}},
        {"patch: dated without a date", Patch, "*", "", nullptr, nullptr,
         {"patched", " ", "ORU Parcelon is updated as of ."}, {}},
        {"combined, restart", Both, "* 12/01/2010", "Notice", nullptr, restarts,
         {" ", "extracted", " ", "patched", " ", "ORU Parcelon is updated as of 12/01/2010.", " ",
          "Your system must be restarted in order for", "the ORU Parcelon Update to take effect."},
         {"info: Notice", "info: Your system must be restarted in order for\r"
                          "the ORU Parcelon Update to take effect."}},
        {"combined fails in the archive: no patch", Both, "01.23.00.00", "", fails(diskFull, file),
         nullptr, {" ", "extracted", failedAt, " ", failed}, {"error: Disk full"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Make(row.version, row.extra);
        window->extract = row.extract;
        window->patch = row.patch;
        (window->*row.run)();
        EXPECT_EQ(RunLines(), row.lines);
        EXPECT_EQ(Boxes(), row.boxes);
        EXPECT_EQ(window->btnCancel->Caption(), "&Done");
        EXPECT_TRUE(window->btnCancel->Enabled() && window->btnCancel->Default());
        EXPECT_EQ(window->edCurrentFile->Text(), "");
        EXPECT_FALSE(window->countyTableHeld);
        EXPECT_EQ(CountiesTableSlot(0).size(), 1u);
    }
}

// The engine waits in SendMessage: a failing handler is reported by the window,
// and the engine still gets its reply instead of an exception through its stack.
TEST_F(UpdateWindow, AHandlerErrorIsReportedAndTheReplyStands) {
    Make();
    EXPECT_EQ(SendMessageA(window->Handle(), WM_USER, 6, 0), 0); // a count without its number
    EXPECT_EQ(Boxes(), Lines{"error: ORU Parcelon RTPatch callback message handler: 6\r"
                             "The engine announced no file count."});
    const int32_t twoFiles = 2;
    const LRESULT reply =
        SendMessageA(window->Handle(), WM_USER, 6, reinterpret_cast<LPARAM>(&twoFiles));
    ASSERT_NE(reply, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "COMBINE");
}

TEST_F(UpdateWindow, PatchRunDeletesTheOldCheckerFromThisVersionOn) {
    const std::string checker = SystemFolder() + "ORUCHI16.exe";
    const std::tuple<const char*, RunOp, bool> rows[] = {
        {"01.22.01.15", Patch, true},
        {"* 12/01/2010", Patch, true}, // a date sorts before every number
        {"01.23.00.00", Both, true},
        {"01.22.01.16", Patch, false},
    };
    for (const auto& [version, run, kept] : rows) {
        WriteWholeFile(checker, "");
        Make(version);
        (window->*run)();
        EXPECT_EQ(FileExists(checker), kept) << version;
    }
}

// Keys go to the focused control through the application's message loop, as a
// user's keys would. Last in this program: termination is for good.
TEST_F(UpdateWindow, TheRunCannotBeClosedEscapeCancelsItAndAtTheEndEnterPressesDone) {
    Make("", "", "", Rtp);
    window->patch = [this](ScriptedWindow& w) {
        w.btnHelp->SetFocus(); // where a user could tab to
        w.Close();
        PostMessageA(w.Handle(), WM_CLOSE, 0, 0);
        Key(VK_ESCAPE);
        EXPECT_TRUE(w.Visible());
        EXPECT_FALSE(Application().Terminated());
    };
    window->UpdateFromPatch();
    EXPECT_TRUE(window->CancelRequested);
    // Done has taken the focus from Help; Tab goes between the only two tab stops,
    // and Help opens the window's topic.
    EXPECT_EQ(Focus(), window->btnCancel->Handle());
    Key(VK_TAB);
    EXPECT_EQ(Focus(), window->btnHelp->Handle());
    std::vector<int> helpAsked;
    Application().OnHelp = [&](int context) {
        helpAsked.push_back(context);
        return true;
    };
    Key(VK_RETURN);
    Application().OnHelp = nullptr;
    EXPECT_EQ(helpAsked, std::vector<int>{254});
    Key(VK_TAB);
    Key(VK_RETURN);
    EXPECT_TRUE(Application().Terminated());
    PostMessageA(window->Handle(), WM_CLOSE, 0, 0);
    Application().ProcessMessages();
    EXPECT_FALSE(window->Visible());
}
