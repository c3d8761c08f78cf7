#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/SystemFolders.h"
#include "UpdateFormFixture.h"
#include "update/RTPatch.h"

#include <gmock/gmock.h>

#include <cstring>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class PatchCallbacks : public UpdateFormTest {
protected:
    void SetUp() override {
        UpdateFormTest::SetUp();
        MakeForm();
    }

    LRESULT Send(unsigned id, const void* data = nullptr) {
        TMessage m{WM_USER, id, reinterpret_cast<LPARAM>(data), 12345};
        form->WMRTPatch(m);
        return m.Result;
    }
    LRESULT SendText(unsigned id, const char* text) { return Send(id, text); }
    LRESULT SendProgress(uint16_t value) { return Send(5, &value); }
    LRESULT SendCount(int32_t n) { return Send(6, &n); }
    LRESULT SendGroup(unsigned id, const char* name, const char* second) {
        const char* texts[2] = {name, second};
        return Send(id, texts);
    }
};

TEST_F(PatchCallbacks, HistoryTextSplitsAtLineFeedsOnly) {
    form->AddHistoryText("two\nwords");
    form->AddHistoryText("one\n");
    form->AddHistoryText("");
    form->AddHistoryText("a\n\nb");
    form->AddHistoryText("cr\r\nkept");
    form->AddHistoryText(nullptr);
    form->AddHistoryText("\n");
    EXPECT_THAT(History(), ElementsAre("two", "words", "one", "", "a", "", "b", "cr\r", "kept", ""));
}

TEST_F(PatchCallbacks, EngineTextsGoToHistoryAndGetTheEmptyReply) {
    for (unsigned id : {1u, 2u, 3u, 4u, 9u, 10u, 11u})
        EXPECT_EQ(SendText(id, ("text " + std::to_string(id)).c_str()), 0) << id;
    EXPECT_EQ(SendText(1, "first\nsecond"), 0);
    EXPECT_THAT(History(), ElementsAre("text 1", "text 2", "text 3", "text 4", "text 9",
                                       "text 10", "text 11", "first", "second"));
}

TEST_F(PatchCallbacks, FileMeterFollowsTheSixteenBitProgress) {
    form->pbFile->SetPercent(7);
    SendProgress(16384);
    EXPECT_EQ(form->pbFile->Percent(), 50);
    SendProgress(32768);
    EXPECT_EQ(form->pbFile->Percent(), 100);
    SendProgress(0);
    EXPECT_EQ(form->pbFile->Percent(), 0);
    SendProgress(327); // 327 * 100 div 32768 = 0.99...
    EXPECT_EQ(form->pbFile->Percent(), 0);
    SendProgress(40000); // beyond complete: never more than full
    EXPECT_EQ(form->pbFile->Percent(), 100);
    form->pbFile->SetPercent(7);
    Send(5); // no value: the meter falls back to 0
    EXPECT_EQ(form->pbFile->Percent(), 0);
    EXPECT_THAT(History(), IsEmpty());
}

TEST_F(PatchCallbacks, FileCountAndFinishedFilesDriveTheUpdateMeter) {
    LRESULT reply = SendCount(4);
    ASSERT_NE(reply, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "COMBINE");
    EXPECT_EQ(form->TotalFiles, 4);
    EXPECT_EQ(form->FilesDone, 0);

    SendText(7, "C:\\Apps\\Parcelon\\parcelon.exe");
    EXPECT_EQ(form->edCurrentFile->Text(), "C:\\Apps\\Parcelon\\parcelon.exe");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Send(8), 0);
    EXPECT_EQ(form->edCurrentFile->Text(), "");
    EXPECT_EQ(form->FilesDone, 3);
    EXPECT_EQ(form->pbPatch->Percent(), 75);

    // A new count starts the files over.
    SendCount(1);
    EXPECT_EQ(form->FilesDone, 0);
    Send(8);
    EXPECT_EQ(form->pbPatch->Percent(), 100);
    // More files finished than announced: the meter stays full.
    Send(8);
    EXPECT_EQ(form->pbPatch->Percent(), 100);
    EXPECT_THAT(History(), ElementsAre("There are 4 files to update.", "There is 1 file to update."));
}

TEST_F(PatchCallbacks, ZeroFilesAnnouncedLeavesTheMeterAtZero) {
    SendCount(0);
    form->pbPatch->SetPercent(30);
    Send(8);
    EXPECT_EQ(form->pbPatch->Percent(), 0);
    EXPECT_EQ(form->FilesDone, 1);
    EXPECT_THAT(History(), ElementsAre("There are 0 files to update."));
}

TEST_F(PatchCallbacks, OneSeparatorLineInTheWindowsLife) {
    Send(12);
    SendText(1, "between");
    Send(12);
    Send(12);
    EXPECT_THAT(History(), ElementsAre(" ", "between"));
    EXPECT_TRUE(form->SeparatorWritten);
}

TEST_F(PatchCallbacks, ProblemsTheEngineCannotSolveAreAnsweredWithAbort) {
    struct Case {
        unsigned id;
        const char* line;
    };
    const Case cases[] = {
        {13, "The patch file, C:\\upd\\ORU.rtp, is missing."},
        {14, "The patch file, C:\\upd\\ORU.rtp, is invalid."},
        {15, "A password is required for this patch."},
        {16, "Invalid patch password entered."},
        {17, "Insert next disk."},
        {18, "Invalid disk detected."},
        {23, "Opening a file asynchronously is not supported."},
        {24, "Reading a file asynchronously is not supported."},
        {25, "Closing a file asynchronously is not supported."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Send(c.id), RTPatchAbortReply);
        ASSERT_FALSE(History().empty());
        EXPECT_EQ(History().back(), c.line);
    }
    EXPECT_EQ(History().size(), std::size(cases));
}

TEST_F(PatchCallbacks, PatchGroupsAreAcceptedAndTheUnibrookGroupIsPointedHome) {
    EXPECT_EQ(SendGroup(19, "PARCELON", "Address tables"), 89);

    LRESULT home = SendGroup(20, "unibrook", "Job tools");
    ASSERT_NE(home, 0);
    ASSERT_NE(home, RTPatchAbortReply);
    EXPECT_STREQ(reinterpret_cast<const char*>(home), "C:\\Apps\\Parcelon\\");

    EXPECT_EQ(SendGroup(20, "STAMPWISE", "x"), RTPatchAbortReply);
    EXPECT_THAT(History(), ElementsAre("Patch group: PARCELON [Address tables]",
                                       "Patch group missing: unibrook [Job tools]",
                                       "Patch group path:    C:\\Apps\\Parcelon\\",
                                       "Invalid ORU Parcelon installation."));
}

TEST_F(PatchCallbacks, QuietIdsChangeOnlyWhatTheyOwn) {
    EXPECT_EQ(Send(22), 0);
    EXPECT_FALSE(form->RestartRequired);
    EXPECT_EQ(Send(26), 0);
    EXPECT_TRUE(form->RestartRequired);
    for (unsigned id : {21u, 27u, 28u, 0u, 99u})
        EXPECT_EQ(Send(id), 0) << id;
    EXPECT_THAT(History(), ElementsAre("Initializing update program."));
}

TEST_F(PatchCallbacks, CancelPressedDuringAMessageAbortsThatVeryMessageAndAllLater) {
    form->btnCancel->SetEnabled(true);
    // The click waits in the queue until the handler looks at pending messages.
    PostMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form->btnCancel->Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(form->btnCancel->Handle()));
    EXPECT_EQ(SendText(7, "parcelon.exe"), RTPatchAbortReply);
    EXPECT_TRUE(form->CancelRequested);
    EXPECT_EQ(form->edCurrentFile->Text(), "parcelon.exe"); // the action itself still ran
    EXPECT_EQ(SendCount(2), RTPatchAbortReply);
    EXPECT_EQ(SendGroup(19, "G", "S"), RTPatchAbortReply);
    EXPECT_EQ(SendText(1, "late"), RTPatchAbortReply);
}

TEST_F(PatchCallbacks, HandlerFailuresNameTheProductAndTheId) {
    try {
        Send(6); // a count message without its number
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "ORU Parcelon RTPatch callback message handler: 6\r"
                               "The engine announced no file count.");
    }
}

// The whole way: engine -> callback -> WM_USER -> handler -> reply -> engine.
TEST_F(PatchCallbacks, AScriptedEngineRunFillsTheWindow) {
    TScratch scratch;
    TEngineScript script(scratch, "send 22 none\n"
                                  "send 6 i32 2\n"
                                  "send 12 none\n"
                                  "send 7 text parcelon.exe\n"
                                  "send 5 u16 32768\n"
                                  "send 8 none\n"
                                  "send 1 text Patching\\ndone\n"
                                  "send 19 pair PARCELON|tables\n"
                                  "send 20 pair Unibrook|jobs\n"
                                  "send 14 none\n"
                                  "return 0\n");
    TRTPatch patch(form->Handle(), ProgramFolder() + "patchw32.dll", "x");
    EXPECT_THAT(script.Replies(),
                ElementsAre("22 text ", "6 text COMBINE", "12 text ", "7 text ", "5 text ", "8 text ",
                            "1 text ", "19 number 89", "20 text C:\\Apps\\Parcelon\\", "14 null"));
    EXPECT_THAT(History(), ElementsAre("Initializing update program.", "There are 2 files to update.",
                                       " ", "Patching", "done", "Patch group: PARCELON [tables]",
                                       "Patch group missing: Unibrook [jobs]",
                                       "Patch group path:    C:\\Apps\\Parcelon\\",
                                       "The patch file, C:\\upd\\ORU.rtp, is invalid."));
    EXPECT_EQ(form->pbFile->Percent(), 100);
    EXPECT_EQ(form->pbPatch->Percent(), 50);
}

} // namespace
