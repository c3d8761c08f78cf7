// The update window itself: layout, banner, the Cancel rule and the run frame
// with stand-in run steps, so every ending can be chosen.
#include <windows.h>

#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"
#include "update/RTPatchErrors.h"
#include "update/Update.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

using namespace oru;

namespace {

const std::string Frame = " -------------------------------------------------------";
const std::string EmptyFrame = " |                                                     |";

// A window whose run steps are whatever the test says.
class ScriptedWindow : public TfrmUpdate {
public:
    ScriptedWindow(const std::string& update, const std::string& patch, const std::string& version,
                   const std::string& extra)
        : TfrmUpdate(nullptr, false, false, "C:\\Apps\\Parcelon\\", update, patch, version, false, extra)
    {
    }
    std::function<void()> extract;
    std::function<void()> patch;
    std::vector<std::string> steps;
    bool cancelEnabledAtPatch = false;

    void ExtractArchive() override
    {
        steps.push_back("extract");
        AddHistory("extracted");
        if (extract)
            extract();
    }
    void ApplyPatch() override
    {
        steps.push_back("patch");
        cancelEnabledAtPatch = btnCancel->Enabled();
        AddHistory("patched");
        if (patch)
            patch();
    }
};

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductCatalogue();
        SetProductKind(1);
        SetPresortTablesFolderQuery([this] {
            log.push_back("county load");
            return presortFolder;
        });
    }
    void TearDown() override
    {
        window.reset();
        SetPresortTablesFolderQuery(nullptr);
        SetApplicationTitleProvider(nullptr);
        ResetProductCatalogue();
        ClearCountiesTables();
    }

    ScriptedWindow& Make(const std::string& version = "01.23.00.00", const std::string& extra = "",
                         const std::string& update = "Z:\\pkg\\ORU.mcu", const std::string& patch = "Z:\\pkg\\ORU.rtp")
    {
        window = std::make_unique<ScriptedWindow>(update, patch, version, extra);
        window->Show();
        return *window;
    }
    // What the run wrote after the banner.
    std::vector<std::string> RunLines() const
    {
        const auto& all = window->History->Lines().Items();
        return all.size() > 11 ? std::vector<std::string>(all.begin() + 11, all.end()) : std::vector<std::string>{};
    }
    void ExpectDone()
    {
        EXPECT_EQ(window->btnCancel->Caption(), "&Done");
        EXPECT_TRUE(window->btnCancel->Enabled());
        EXPECT_TRUE(window->btnCancel->Default());
        EXPECT_EQ(window->edCurrentFile->Text(), "");
    }

    TModalRecorder recorder;
    std::unique_ptr<ScriptedWindow> window;
    std::vector<std::string> log;
    std::string presortFolder;
};

} // namespace

TEST_F(UpdateWindow, BannerForAVersionNumber)
{
    Make("01.23.00.00");
    const std::vector<std::string> expected = {
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
    EXPECT_EQ(window->History->Lines().Items(), expected);
    for (size_t i : {0, 1, 2, 6, 8})
        EXPECT_EQ(expected[i].size(), 56u) << i;
}

TEST_F(UpdateWindow, BannerForDatedVersions)
{
    Make("* 12/01/2010");
    EXPECT_EQ(window->History->Lines()[10], " **************  Update as of 12/01/2010  **************");
    Make("*");
    EXPECT_EQ(window->History->Lines()[10], " **************  Update as of   **************");
}

TEST_F(UpdateWindow, ALongNameWidensTheFrameUncut)
{
    ResetProductCatalogue();
    const std::string longName(60, 'N');
    SetApplicationTitleProvider([longName] { return longName; });
    Make();
    EXPECT_EQ(window->History->Lines()[1], " |" + longName + "|");
    const std::string exact(53, 'E');
    ResetProductCatalogue();
    SetApplicationTitleProvider([exact] { return exact; });
    Make();
    EXPECT_EQ(window->History->Lines()[1], " |" + exact + "|");
    EXPECT_EQ(window->Caption(), exact + " Update");
}

TEST_F(UpdateWindow, ShowingAgainClearsTheHistoryAndTheCurrentFile)
{
    Make();
    window->AddHistory("left over");
    window->edCurrentFile->SetText("old");
    window->Hide();
    window->Show();
    EXPECT_EQ(window->History->Lines().Count(), 11u);
    EXPECT_EQ(window->edCurrentFile->Text(), "");
}

TEST_F(UpdateWindow, CancelIsEnabledOnlyForAPatchFileWithoutAnArchive)
{
    struct Case {
        std::string update, patch;
        bool enabled;
    };
    const Case cases[] = {
        {"Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.rtp", false},
        {"", "Z:\\pkg\\ORU.RTP", true},
        {"Z:\\pkg\\ORU.mcu", "", false},
        {"", "", false},
        {"Z:\\pkg\\ORU.zip", "Z:\\pkg\\ORU.rtp", true},
        {"", "Z:\\p.rtp\\ORU", false},
        {"", "Z:\\pkg\\ORU.rtpx", false},
    };
    for (const Case& c : cases) {
        Make("01.23.00.00", "", c.update, c.patch);
        EXPECT_EQ(window->btnCancel->Enabled(), c.enabled) << c.update << " / " << c.patch;
        EXPECT_EQ(window->btnCancel->Caption(), "&Cancel");
    }
}

TEST_F(UpdateWindow, ArchiveRunSucceedsWithNoticeAndEndsDone)
{
    Make("01.23.00.00", "Read the notes.");
    window->UpdateFromArchive();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"extracted", " ", "ORU Parcelon is updated to version 01.23.00.00."}));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "Read the notes.");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(recorder.Messages[0].Buttons, mbOK);
    ExpectDone();
}

TEST_F(UpdateWindow, ArchiveRunFailureNamesTheFileWithoutABlankLine)
{
    Make("01.23.00.00", "Never shown on failure.");
    window->extract = [this] {
        window->edCurrentFile->SetText("Extracting - C:\\Apps\\Parcelon\\a.dll");
        throw Exception("Disk full");
    };
    window->UpdateFromArchive();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"extracted", "Error updating - Extracting - C:\\Apps\\Parcelon\\a.dll",
                                                    "ORU Parcelon update failed"}));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "Disk full");
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtError);
    ExpectDone();
}

TEST_F(UpdateWindow, ArchiveRunTreatsAnAbortLikeAnyFailure)
{
    Make();
    window->extract = [] { throw ERTPatchAborted("Patch was aborted."); };
    window->UpdateFromArchive();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"extracted", "ORU Parcelon update failed"}));
}

TEST_F(UpdateWindow, PatchRunAbortedByTheUser)
{
    Make("", "", "", "Z:\\pkg\\ORU.rtp");
    window->patch = [this] {
        window->edCurrentFile->SetText("parcelon.exe");
        throw ERTPatchAborted("Patch was aborted.");
    };
    window->UpdateFromPatch();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"patched", " ", "ORU Parcelon update aborted"}));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "Patch was aborted.");
    ExpectDone();
}

TEST_F(UpdateWindow, PatchRunFailureWithAndWithoutACurrentFile)
{
    Make();
    window->patch = [this] {
        window->edCurrentFile->SetText("parcelon.exe");
        throw ERTPatch("Fatal .RTPatch error : 7");
    };
    window->UpdateFromPatch();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"patched", "Error updating - parcelon.exe", " ",
                                                    "ORU Parcelon update failed"}));

    // A library that cannot be loaded ends silently after its own report.
    Make();
    window->patch = [] { throw EAbort(); };
    recorder.Messages.clear();
    window->UpdateFromPatch();
    EXPECT_EQ(RunLines(), (std::vector<std::string>{"patched", " ", "ORU Parcelon update failed"}));
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST_F(UpdateWindow, CombinedRunEnablesCancelForThePatchAndTellsAboutTheRestart)
{
    Make("* 12/01/2010", "Notice");
    EXPECT_FALSE(window->btnCancel->Enabled());
    window->patch = [this] { window->RestartRequired = true; };
    window->UpdateFromArchiveAndPatch();
    EXPECT_EQ(window->steps, (std::vector<std::string>{"extract", "patch"}));
    EXPECT_TRUE(window->cancelEnabledAtPatch);
    EXPECT_EQ(RunLines(), (std::vector<std::string>{" ", "extracted", " ", "patched", " ",
                                                    "ORU Parcelon is updated as of 12/01/2010.", " ",
                                                    "Your system must be restarted in order for",
                                                    "the ORU Parcelon Update to take effect."}));
    ASSERT_EQ(recorder.Messages.size(), 2u);
    EXPECT_EQ(recorder.Messages[0].Text, "Notice");
    EXPECT_EQ(recorder.Messages[1].Text,
              "Your system must be restarted in order for\rthe ORU Parcelon Update to take effect.");
    EXPECT_EQ(recorder.Messages[1].Type, TMsgDlgType::mtInformation);
    ExpectDone();
}

TEST_F(UpdateWindow, CombinedRunKeepsCancelOffWithoutAnRtpFile)
{
    Make("01.23.00.00", "", "Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.pat");
    window->UpdateFromArchiveAndPatch();
    EXPECT_FALSE(window->cancelEnabledAtPatch);
}

TEST_F(UpdateWindow, CombinedRunFailingInTheArchiveEndsWithoutThePatch)
{
    Make();
    window->extract = [this] {
        window->edCurrentFile->SetText("Extracting - C:\\Apps\\Parcelon\\a.dll");
        throw Exception("Disk full");
    };
    window->UpdateFromArchiveAndPatch();
    EXPECT_EQ(window->steps, std::vector<std::string>{"extract"});
    EXPECT_EQ(RunLines(), (std::vector<std::string>{" ", "extracted", "Error updating - Extracting - C:\\Apps\\Parcelon\\a.dll",
                                                    " ", "ORU Parcelon update failed"}));
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Text, "Disk full");
    ExpectDone();
}

TEST_F(UpdateWindow, PatchOnlyRunLeavesADisabledCancelDisabled)
{
    Make("01.23.00.00", "", "Z:\\pkg\\ORU.mcu", "Z:\\pkg\\ORU.rtp");
    ASSERT_FALSE(window->btnCancel->Enabled());
    window->UpdateFromPatch();
    EXPECT_FALSE(window->cancelEnabledAtPatch);
}

// The engine waits in SendMessage: a failing handler is reported by the window,
// and the engine still gets its reply instead of an exception through its stack.
TEST_F(UpdateWindow, AHandlerErrorIsReportedAndTheReplyStands)
{
    Make();
    EXPECT_EQ(SendMessageA(window->Handle(), WM_USER, 6, 0), 0); // a count without its number
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(recorder.Messages[0].Text, "ORU Parcelon RTPatch callback message handler: 6\r"
                                         "The engine announced no file count.");
    // And the next message is answered as ever.
    const int32_t twoFiles = 2;
    const LRESULT reply = SendMessageA(window->Handle(), WM_USER, 6, reinterpret_cast<LPARAM>(&twoFiles));
    ASSERT_NE(reply, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "COMBINE");
}

TEST_F(UpdateWindow, ArchiveRunNeverTellsAboutARestart)
{
    Make();
    window->extract = [this] { window->RestartRequired = true; };
    window->UpdateFromArchive();
    EXPECT_EQ(RunLines().back(), "ORU Parcelon is updated to version 01.23.00.00.");
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST_F(UpdateWindow, DatedVersionWithoutADateGivesAnEmptyDate)
{
    Make("*");
    window->UpdateFromPatch();
    EXPECT_EQ(RunLines().back(), "ORU Parcelon is updated as of .");
}

TEST_F(UpdateWindow, CountyTableIsReleasedFirstAndReloadedLastEvenAfterAFailure)
{
    // A one-record table in a folder of its own, loaded before the run.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    presortFolder = Format("%soru-window-%lu\\", temp, GetCurrentProcessId());
    CreateDirectoryA(presortFolder.c_str(), nullptr);
    const std::string table = presortFolder + "COUNTIES.TBL";
    std::ofstream(table, std::ios::binary).write("ABCDE", 5);
    LoadCountiesTable(0, "");
    ASSERT_EQ(CountiesTableSlot(0).size(), 1u);
    log.clear();

    Make();
    size_t recordsDuringRun = 99;
    window->extract = [&] {
        log.push_back("extract");
        recordsDuringRun = CountiesTableSlot(0).size();
        throw Exception("broken");
    };
    window->UpdateFromArchive();
    EXPECT_EQ(recordsDuringRun, 0u);
    EXPECT_EQ(log, (std::vector<std::string>{"extract", "county load"}));
    EXPECT_EQ(CountiesTableSlot(0).size(), 1u);
    DeleteFileA(table.c_str());
    RemoveDirectoryA(presortFolder.c_str());
}

TEST_F(UpdateWindow, PatchRunDeletesTheOldCheckerFromThisVersionOn)
{
    const std::string checker = GetSystemFolder() + "ORUCHI16.exe";
    auto plant = [&] { std::ofstream(checker, std::ios::binary) << "old"; };
    auto exists = [&] { return GetFileAttributesA(checker.c_str()) != INVALID_FILE_ATTRIBUTES; };

    plant();
    ASSERT_TRUE(exists());
    Make("01.22.01.15");
    window->UpdateFromPatch();
    EXPECT_TRUE(exists()) << "an older version keeps it";
    Make("* 12/01/2010");
    window->UpdateFromPatch();
    EXPECT_TRUE(exists()) << "a dated version sorts before every number";
    Make("01.23.00.00");
    window->UpdateFromArchiveAndPatch();
    EXPECT_TRUE(exists()) << "the combined run leaves it";

    Make("01.22.01.16");
    window->UpdateFromPatch();
    EXPECT_FALSE(exists());
    Make("01.23.00.00");
    window->UpdateFromPatch(); // nothing to delete: not an error
    EXPECT_EQ(RunLines().back(), "ORU Parcelon is updated to version 01.23.00.00.");
}

TEST_F(UpdateWindow, CancelBeforeDoneOnlyRequestsTheAbort)
{
    Make("", "", "", "Z:\\pkg\\ORU.rtp");
    bool terminatedBefore = Application().Terminated();
    window->btnCancel->Click();
    EXPECT_TRUE(window->CancelRequested);
    EXPECT_EQ(Application().Terminated(), terminatedBefore);
}

TEST_F(UpdateWindow, HelpOpensTheWindowsTopic)
{
    Make();
    std::vector<int> asked;
    Application().OnHelp = [&](int context) {
        asked.push_back(context);
        return true;
    };
    window->btnHelp->Click();
    Application().OnHelp = nullptr;
    EXPECT_EQ(asked, std::vector<int>{254});
}

TEST_F(UpdateWindow, PackageWithNothingToApplyCanStillBeEnded)
{
    Make();
    EXPECT_FALSE(window->FormCloseQuery());
    window->EnableDone();
    ExpectDone();
    EXPECT_TRUE(window->FormCloseQuery());
}

// Last in this program: termination is for good.
TEST_F(UpdateWindow, CloseIsRefusedUntilDoneAndDoneTerminates)
{
    Make();
    window->Close();
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(Application().Terminated());
    PostMessageA(window->Handle(), WM_CLOSE, 0, 0);
    Application().ProcessMessages();
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(Application().Terminated());

    window->UpdateFromArchive();
    window->btnCancel->Click();
    EXPECT_TRUE(Application().Terminated());
    EXPECT_FALSE(window->CancelRequested);
    PostMessageA(window->Handle(), WM_CLOSE, 0, 0);
    Application().ProcessMessages();
    EXPECT_FALSE(window->Visible());

}
