// The update window with stand-in run steps, so that every ending can be chosen.
#include <windows.h>

#include "UpdateFormFixture.h"
#include "platform/Files.h"
#include "update/RTPatchErrors.h"

#include "support/Scratch.h"

#include <functional>

using namespace oru;
using namespace oru::test;

namespace {

const std::string Frame = " -------------------------------------------------------";
const std::string EmptyFrame = " |                                                     |";
const char* const Mcu = "Z:\\pkg\\ORU.mcu";
const char* const Rtp = "Z:\\pkg\\ORU.rtp";

// A window whose run steps are whatever the test says.
class ScriptedWindow : public TfrmUpdate {
public:
    using TfrmUpdate::TfrmUpdate;
    std::function<void(ScriptedWindow&)> extract, patch;
    bool cancelEnabledAtPatch = false;

    void ExtractArchive() override {
        AddHistory("extracted");
        if (extract)
            extract(*this);
    }
    void ApplyPatch() override {
        cancelEnabledAtPatch = btnCancel->Enabled();
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
    // What the run wrote after the banner.
    Lines RunLines() const { return History().size() > 11 ? Lines(History().begin() + 11, History().end()) : Lines{}; }
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
    struct Row {
        std::string version, title;
        size_t line;
        std::string expected;
    } const rows[] = {
        {"* 12/01/2010", "", 10, " **************  Update as of 12/01/2010  **************"},
        {"*", "", 10, " **************  Update as of   **************"},
        {"01.23.00.00", std::string(60, 'N'), 1, " |" + std::string(60, 'N') + "|"}, // widens the frame uncut
        {"01.23.00.00", std::string(53, 'E'), 1, " |" + std::string(53, 'E') + "|"},
    };
    for (const Row& row : rows) {
        ResetProductCatalogue();
        SetApplicationTitleProvider(row.title.empty() ? std::function<std::string()>() : [&] { return row.title; });
        Make(row.version);
        EXPECT_EQ(History().at(row.line), row.expected) << row.version << row.title;
    }
    EXPECT_EQ(window->Caption(), std::string(53, 'E') + " Update");
}

TEST_F(UpdateWindow, CancelIsEnabledOnlyForAPatchFileWithoutAnArchive) {
    struct Case {
        std::string update, patch;
        bool enabled;
    } const cases[] = {
        {Mcu, Rtp, false},
        {"", "Z:\\pkg\\ORU.RTP", true},
        {Mcu, "", false},
        {"", "", false},
        {"Z:\\pkg\\ORU.zip", Rtp, true},
        {"", "Z:\\p.rtp\\ORU", false},
        {"", "Z:\\pkg\\ORU.rtpx", false},
    };
    for (const Case& c : cases) {
        Make("01.23.00.00", "", c.update, c.patch);
        EXPECT_EQ(window->btnCancel->Enabled(), c.enabled) << c.update << " / " << c.patch;
        EXPECT_EQ(window->btnCancel->Caption(), "&Cancel");
    }
}

TEST_F(UpdateWindow, TheCombinedRunEnablesCancelForAnRtpPatchOnly) {
    struct Case {
        const char* patch;
        void (TfrmUpdate::*run)();
        bool enabled;
    } const cases[] = {
        {Rtp, &TfrmUpdate::UpdateFromArchiveAndPatch, true},
        {"Z:\\pkg\\ORU.pat", &TfrmUpdate::UpdateFromArchiveAndPatch, false},
        {Rtp, &TfrmUpdate::UpdateFromPatch, false}, // a patch-only run leaves it as it was
    };
    for (const Case& c : cases) {
        Make("01.23.00.00", "", Mcu, c.patch);
        (window->*c.run)();
        EXPECT_EQ(window->cancelEnabledAtPatch, c.enabled) << c.patch;
    }
}

TEST_F(UpdateWindow, EveryEndingWritesItsLinesShowsItsBoxesAndOffersDone) {
    const auto fails = [](std::function<void()> raise, const char* current = "") {
        return [=](ScriptedWindow& w) {
            w.edCurrentFile->SetText(current);
            raise();
        };
    };
    const auto restarts = [](ScriptedWindow& w) { w.RestartRequired = true; };
    const char* const file = "Extracting - C:\\Apps\\Parcelon\\a.dll";
    const auto diskFull = [] { throw Exception("Disk full"); };
    const auto aborted = [] { throw ERTPatchAborted("Patch was aborted."); };
    struct Row {
        const char* name;
        void (TfrmUpdate::*run)();
        std::string version, extra;
        std::function<void(ScriptedWindow&)> extract, patch;
        Lines lines, boxes;
    } const rows[] = {
        {"archive, notice", &TfrmUpdate::UpdateFromArchive, "01.23.00.00", "Read the notes.", nullptr, nullptr,
         {"extracted", " ", "ORU Parcelon is updated to version 01.23.00.00."}, {"info: Read the notes."}},
        {"archive fails: no blank line", &TfrmUpdate::UpdateFromArchive, "01.23.00.00", "Never shown.",
         fails(diskFull, file), nullptr,
         {"extracted", "Error updating - " + std::string(file), "ORU Parcelon update failed"}, {"error: Disk full"}},
        {"archive: an abort is a failure", &TfrmUpdate::UpdateFromArchive, "01.23.00.00", "", fails(aborted), nullptr,
         {"extracted", "ORU Parcelon update failed"}, {"error: Patch was aborted."}},
        {"archive: no restart", &TfrmUpdate::UpdateFromArchive, "01.23.00.00", "", restarts, nullptr,
         {"extracted", " ", "ORU Parcelon is updated to version 01.23.00.00."}, {}},
        {"patch aborted", &TfrmUpdate::UpdateFromPatch, "", "", nullptr, fails(aborted, "parcelon.exe"),
         {"patched", " ", "ORU Parcelon update aborted"}, {"error: Patch was aborted."}},
        {"patch fails", &TfrmUpdate::UpdateFromPatch, "01.23.00.00", "", nullptr,
         fails([] { throw ERTPatch("Fatal .RTPatch error : 7"); }, "parcelon.exe"),
         {"patched", "Error updating - parcelon.exe", " ", "ORU Parcelon update failed"},
         {"error: Fatal .RTPatch error : 7"}},
        // An engine that cannot be loaded has had its own report.
        {"patch: silent abort", &TfrmUpdate::UpdateFromPatch, "01.23.00.00", "", nullptr, fails([] { throw EAbort(); }),
         {"patched", " ", "ORU Parcelon update failed"}, {}},
        {"patch: dated without a date", &TfrmUpdate::UpdateFromPatch, "*", "", nullptr, nullptr,
         {"patched", " ", "ORU Parcelon is updated as of ."}, {}},
        {"combined, restart", &TfrmUpdate::UpdateFromArchiveAndPatch, "* 12/01/2010", "Notice", nullptr, restarts,
         {" ", "extracted", " ", "patched", " ", "ORU Parcelon is updated as of 12/01/2010.", " ",
          "Your system must be restarted in order for", "the ORU Parcelon Update to take effect."},
         {"info: Notice",
          "info: Your system must be restarted in order for\rthe ORU Parcelon Update to take effect."}},
        {"combined fails in the archive: no patch", &TfrmUpdate::UpdateFromArchiveAndPatch, "01.23.00.00", "",
         fails(diskFull, file), nullptr,
         {" ", "extracted", "Error updating - " + std::string(file), " ", "ORU Parcelon update failed"},
         {"error: Disk full"}},
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
    const LRESULT reply = SendMessageA(window->Handle(), WM_USER, 6, reinterpret_cast<LPARAM>(&twoFiles));
    ASSERT_NE(reply, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "COMBINE");
}

TEST_F(UpdateWindow, CountyTableIsReleasedFirstAndReloadedLastEvenAfterAFailure) {
    test::TScratch scratch("window");
    presortFolder = scratch.Dir();
    scratch.Write("COUNTIES.TBL", "ABCDE"); // one record
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0).size(), 1u);
    log.clear();

    Make();
    size_t recordsDuringRun = 99;
    window->extract = [&](ScriptedWindow&) {
        log.push_back("extract");
        recordsDuringRun = CountiesTableSlot(0).size();
        throw Exception("broken");
    };
    window->UpdateFromArchive();
    EXPECT_EQ(recordsDuringRun, 0u);
    EXPECT_EQ(log, (Lines{"extract", "county load"}));
    EXPECT_EQ(CountiesTableSlot(0).size(), 1u);
}

TEST_F(UpdateWindow, PatchRunDeletesTheOldCheckerFromThisVersionOn) {
    const std::string checker = GetSystemFolder() + "ORUCHI16.exe";
    struct Row {
        const char* version;
        void (TfrmUpdate::*run)();
        bool kept;
    } const rows[] = {
        {"01.22.01.15", &TfrmUpdate::UpdateFromPatch, true},
        {"* 12/01/2010", &TfrmUpdate::UpdateFromPatch, true}, // a date sorts before every number
        {"01.23.00.00", &TfrmUpdate::UpdateFromArchiveAndPatch, true},
        {"01.22.01.16", &TfrmUpdate::UpdateFromPatch, false},
    };
    for (const Row& row : rows) {
        HANDLE planted = CreateFileA(checker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(planted, INVALID_HANDLE_VALUE);
        CloseHandle(planted);
        Make(row.version);
        (window->*row.run)();
        EXPECT_EQ(GetFileAttributesA(checker.c_str()) != INVALID_FILE_ATTRIBUTES, row.kept) << row.version;
    }
    Make("01.23.00.00");
    window->UpdateFromPatch(); // nothing to delete: not an error
    EXPECT_EQ(RunLines().back(), "ORU Parcelon is updated to version 01.23.00.00.");
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
