#include <windows.h>

#include "UpdateFormFixture.h"
#include "update/RTPatch.h"

#include <gmock/gmock.h>

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
    LRESULT SendProgress(uint16_t value) { return Send(5, &value); }
    LRESULT SendCount(int32_t n) { return Send(6, &n); }
    LRESULT SendGroup(unsigned id, const char* name, const char* second) {
        const char* texts[2] = {name, second};
        return Send(id, texts);
    }
};

// The texts are split at line feeds only, and a missing one writes nothing.
TEST_F(PatchCallbacks, EngineTextsGoToHistoryLineByLineAndGetTheEmptyReply) {
    const std::pair<unsigned, const char*> texts[] = {
        {1, "two\nwords"}, {2, "one\n"}, {3, ""}, {4, "a\n\nb"}, {9, "cr\r\nkept"}, {10, nullptr},
        {11, "\n"}};
    for (auto [id, text] : texts)
        EXPECT_EQ(Send(id, text), 0) << id;
    EXPECT_THAT(History(),
                ElementsAre("two", "words", "one", "", "a", "", "b", "cr\r", "kept", ""));
}

TEST_F(PatchCallbacks, FileMeterFollowsTheSixteenBitProgress) {
    // 327 * 100 div 32768 is below 1; beyond complete is never more than full.
    const std::pair<uint16_t, int> rows[] = {{16384, 50}, {32768, 100}, {327, 0}, {40000, 100}};
    for (auto [value, percent] : rows) {
        form->pbFile->SetPercent(7);
        SendProgress(value);
        EXPECT_EQ(form->pbFile->Percent(), percent) << value;
        EXPECT_EQ(form->pbFile->ControlPosition(), percent) << value;
    }
    form->pbFile->SetPercent(7);
    Send(5); // no value: the meter falls back to 0
    EXPECT_EQ(form->pbFile->Percent(), 0);
    EXPECT_THAT(History(), IsEmpty());
}

TEST_F(PatchCallbacks, FileCountAndFinishedFilesDriveTheUpdateMeter) {
    LRESULT reply = SendCount(4);
    ASSERT_NE(reply, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply), "COMBINE");
    Send(7, "C:\\Apps\\Parcelon\\parcelon.exe");
    EXPECT_EQ(form->edCurrentFile->Text(), "C:\\Apps\\Parcelon\\parcelon.exe");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Send(8), 0);
    EXPECT_EQ(form->edCurrentFile->Text(), "");
    EXPECT_EQ(form->pbPatch->Percent(), 75);
    // A new count starts the files over; none announced keeps the meter at zero.
    SendCount(1);
    SendCount(4);
    Send(8);
    EXPECT_EQ(form->pbPatch->Percent(), 25);
    SendCount(0);
    form->pbPatch->SetPercent(30);
    Send(8);
    EXPECT_EQ(form->pbPatch->Percent(), 0);
    EXPECT_THAT(History(), ElementsAre("There are 4 files to update.", "There is 1 file to update.",
                                       "There are 4 files to update.",
                                       "There are 0 files to update."));
}

// The separator comes once in the window's life; 22 writes its line, 26 only notes
// that a restart is needed.
TEST_F(PatchCallbacks, SeparatorOnceTheStartLineAndTheRestartFlag) {
    Send(12);
    EXPECT_EQ(Send(22), 0);
    Send(12);
    EXPECT_FALSE(form->RestartRequired);
    EXPECT_EQ(Send(26), 0);
    EXPECT_TRUE(form->RestartRequired);
    EXPECT_THAT(History(), ElementsAre(" ", "Initializing update program."));
}

TEST_F(PatchCallbacks, ProblemsTheEngineCannotSolveAreAnsweredWithAbort) {
    for (unsigned id : {13u, 14u, 15u, 16u, 17u, 18u, 23u, 24u, 25u})
        EXPECT_EQ(Send(id), RTPatchAbortReply) << id;
    EXPECT_EQ(History(), (Lines{"The patch file, C:\\upd\\ORU.rtp, is missing.",
                                "The patch file, C:\\upd\\ORU.rtp, is invalid.",
                                "A password is required for this patch.",
                                "Invalid patch password entered.", "Insert next disk.",
                                "Invalid disk detected.",
                                "Opening a file asynchronously is not supported.",
                                "Reading a file asynchronously is not supported.",
                                "Closing a file asynchronously is not supported."}));
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

TEST_F(PatchCallbacks, CancelPressedDuringAMessageAbortsThatVeryMessageAndAllLater) {
    form->btnCancel->SetEnabled(true);
    // The click waits in the queue until the handler looks at pending messages.
    HWND cancel = form->btnCancel->Handle();
    PostMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(cancel), BN_CLICKED),
                 reinterpret_cast<LPARAM>(cancel));
    EXPECT_EQ(Send(7, "parcelon.exe"), RTPatchAbortReply);
    EXPECT_TRUE(form->CancelRequested);
    EXPECT_EQ(form->edCurrentFile->Text(), "parcelon.exe"); // the action itself still ran
    EXPECT_EQ(SendCount(2), RTPatchAbortReply);
    EXPECT_EQ(SendGroup(19, "G", "S"), RTPatchAbortReply);
    EXPECT_EQ(Send(1, "late"), RTPatchAbortReply);
}

} // namespace
