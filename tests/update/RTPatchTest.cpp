#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/MessageOf.h"
#include "support/SystemFolders.h"
#include "ui/ModalHook.h"
#include "update/RTPatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using namespace oru;
using namespace oru::test;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// What the window would have been sent, read while each callback was delivered.
std::vector<std::string> Inbox;
std::map<WPARAM, LRESULT> Replies;
const char Combine[] = "COMBINE";
const char Folder[] = "C:\\Apps\\Parcelon\\";

std::string Describe(WPARAM id, LPARAM parm) {
    if (parm == 0)
        return "-";
    switch (id) {
    case 5:
        return std::to_string(*reinterpret_cast<const uint16_t*>(parm));
    case 6:
        return std::to_string(*reinterpret_cast<const int32_t*>(parm));
    case 19:
    case 20: {
        auto texts = reinterpret_cast<const char* const*>(parm);
        return std::string(texts[0]) + "|" + texts[1];
    }
    default:
        return reinterpret_cast<const char*>(parm);
    }
}

LRESULT RecordingSender(HWND, UINT msg, WPARAM id, LPARAM parm) {
    EXPECT_EQ(msg, static_cast<UINT>(WM_USER));
    Inbox.push_back(std::to_string(id) + " " + Describe(id, parm));
    auto reply = Replies.find(id);
    return reply == Replies.end() ? 0 : reply->second;
}

LRESULT ThrowingSender(HWND, UINT, WPARAM id, LPARAM) {
    if (id == 7)
        throw Exception("the handler broke");
    return 0;
}

// The real delivery to a window is proven by the patch step's own test.
class RTPatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Inbox.clear();
        Replies.clear();
        SetRTPatchSender(RecordingSender);
    }
    void TearDown() override { SetRTPatchSender(nullptr); }
    const std::string engine = ProgramFolder() + "patchw32.dll";
};

TEST_F(RTPatchTest, ForwardsEachCallbackAndPassesTheRepliesBack) {
    TEngineScript script("send 1 text Reading\\nline two\nsend 5 u16 16384\nsend 6 i32 3\n"
                         "send 7 text parcelon.exe\nsend 8 none\nsend 19 pair GROUP|second text\n"
                         "send 20 pair unibrook|other\nsend 21 none\nsend 28 none\nsend 13 none\n"
                         "send 0 none\nsend 27 none\nsend 29 none\n");
    Replies[6] = reinterpret_cast<LRESULT>(Combine);
    Replies[19] = 89;
    Replies[20] = reinterpret_cast<LRESULT>(Folder);
    Replies[13] = RTPatchAbortReply;

    TRTPatch(nullptr, engine, "  \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"\r\n");

    // Trimmed, and run with the flag set and the root as the current folder.
    EXPECT_THAT(script.Log(), testing::IsSupersetOf({"command \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"", "flag 1",
                                                     "folder C:\\"}));
    // Ids 0, 27 and above 28 never reach the window.
    EXPECT_THAT(Inbox, ElementsAre("1 Reading\nline two", "5 16384", "6 3", "7 parcelon.exe",
                                  "8 -", "19 GROUP|second text", "20 unibrook|other", "21 -",
                                  "28 -", "13 -"));
    // Ids 6, 19 and 20 get the window's reply itself, the others an empty text;
    // the abort reply and the unsent Ids give null.
    EXPECT_THAT(script.Replies(),
                ElementsAre("1 text ", "5 text ", "6 text COMBINE", "7 text ", "8 text ",
                            "19 number 89", "20 text C:\\Apps\\Parcelon\\", "21 text ", "28 text ",
                            "13 null", "0 null", "27 null", "29 null"));
}

TEST_F(RTPatchTest, AbortReplyBecomesNullForTextAndPointerIds) {
    TEngineScript script("send 7 text a.dat\nsend 6 i32 1\nsend 20 pair X|Y\nreturn 0\n");
    for (WPARAM id : {7, 6, 20})
        Replies[id] = RTPatchAbortReply;
    TRTPatch(nullptr, engine, "x");
    EXPECT_THAT(script.Replies(), ElementsAre("7 null", "6 null", "20 null"));
}

TEST_F(RTPatchTest, ResultCodesBecomeEngineExceptionsOnTheirLow16Bits) {
    const auto run = [&](const char* result) {
        return [this, result] {
            TEngineScript script(std::string("return ") + result + "\n");
            TRTPatch(nullptr, engine, "x");
        };
    };
    EXPECT_EQ(MessageOf<ERTPatchAborted>(run("32769")), "Patch was aborted.");
    EXPECT_EQ(MessageOf<ERTExtractingDLL>(run("32770")), "Patch has invalid format.");
    EXPECT_EQ(MessageOf<ERTPatch>(run("5")), "Fatal .RTPatch error : 5");
    EXPECT_EQ(MessageOf<ERTPatch>(run("98307")), "Fatal .RTPatch error : 32771");
    EXPECT_NO_THROW(run("65536")());
    // A constructor that failed leaves the library unloaded.
    EXPECT_EQ(GetModuleHandleA(engine.c_str()), nullptr);
}

TEST_F(RTPatchTest, LoadingFailuresShowTheSystemTextThenAbortSilently) {
    TModalRecorder dialogs;
    EXPECT_THROW(TRTPatch(nullptr, ProgramFolder() + "nothere.dll", "x"), EAbort);
    const std::string noEntry = ProgramFolder() + "noentry.dll";
    EXPECT_THROW(TRTPatch(nullptr, noEntry, "x"), EAbort);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_THAT(dialogs.Messages[0].Text, AllOf(HasSubstr("nothere.dll"), HasSubstr("(126)"))); // module not found
    EXPECT_EQ(dialogs.Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_THAT(dialogs.Messages[1].Text, AllOf(HasSubstr("noentry.dll"), HasSubstr("(127)"))); // no ordinal 1
    EXPECT_EQ(GetModuleHandleA(noEntry.c_str()), nullptr);
}

// An exception out of the message delivery must not unwind through the engine: the
// engine gets the abort reply (also for every later callback) and the exception,
// with the Id in front, comes out of the constructor after the engine returned.
TEST_F(RTPatchTest, CallbackExceptionsWaitUntilTheEngineHasReturned) {
    TEngineScript script("send 1 text before\nsend 7 text a.dat\nsend 1 text after\nreturn 32769\n");
    SetRTPatchSender(ThrowingSender);
    // Not the engine's "aborted" code: the callback's exception wins.
    EXPECT_EQ(MessageOf<Exception>([&] { TRTPatch(nullptr, engine, "x"); }),
              "RTPatch callback message ID: 7\rthe handler broke");
    EXPECT_THAT(script.Replies(), ElementsAre("1 text ", "7 null", "1 null"));

    // The next run starts clean.
    SetRTPatchSender(RecordingSender);
    TEngineScript again("send 1 text fine\nreturn 0\n");
    EXPECT_NO_THROW(TRTPatch(nullptr, engine, "x"));
    EXPECT_THAT(again.Replies(), ElementsAre("1 text "));
}

} // namespace
