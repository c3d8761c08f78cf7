#include <windows.h>

#include "StandInEngineSupport.h"
#include "support/MessageOf.h"
#include "support/SystemFolders.h"
#include "ui/ModalHook.h"
#include "update/RTPatch.h"

#include <gmock/gmock.h>

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

// The engine's side of the calls: it sends each (Id, data) and notes the reply as
// "null", the number for Id 19, or the text.
struct Call {
    UINT id;
    void* parm;
};
std::function<UINT(TEngineCallback)> Sends(std::vector<Call> calls, std::vector<std::string>& replies,
                                           UINT result = 0) {
    return [=, &replies](TEngineCallback callback) {
        for (const Call& c : calls) {
            void* reply = callback(c.id, c.parm);
            replies.push_back(!reply        ? "null"
                              : c.id == 19 ? std::to_string(reinterpret_cast<uintptr_t>(reply))
                                           : static_cast<const char*>(reply));
        }
        return result;
    };
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
    std::vector<std::string> replies;
};

TEST_F(RTPatchTest, ForwardsEachCallbackAndPassesTheRepliesBack) {
    char reading[] = "Reading\nline two", file[] = "parcelon.exe";
    uint16_t progress = 16384;
    int32_t count = 3;
    const char* group[] = {"GROUP", "second text"};
    const char* home[] = {"unibrook", "other"};
    TStandInEngine played(Sends({{1, reading}, {5, &progress}, {6, &count}, {7, file}, {8, nullptr},
                                 {19, group}, {20, home}, {21, nullptr}, {28, nullptr}, {13, nullptr},
                                 {0, nullptr}, {27, nullptr}, {29, nullptr}},
                                replies));
    Replies[6] = reinterpret_cast<LRESULT>("COMBINE");
    Replies[19] = 89;
    Replies[20] = reinterpret_cast<LRESULT>("C:\\Apps\\Parcelon\\");
    Replies[13] = RTPatchAbortReply;

    TRTPatch(nullptr, engine, "  \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"\r\n");

    // Trimmed, and run with the flag set and the root as the current folder.
    EXPECT_EQ(played.CommandLine, "\"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"");
    EXPECT_EQ(played.Flag, TRUE);
    EXPECT_EQ(played.CurrentFolder, "C:\\");
    // Ids 0, 27 and above 28 never reach the window.
    EXPECT_THAT(Inbox, ElementsAre("1 Reading\nline two", "5 16384", "6 3", "7 parcelon.exe", "8 -",
                                   "19 GROUP|second text", "20 unibrook|other", "21 -", "28 -", "13 -"));
    // Ids 6, 19 and 20 get the window's reply itself, the others an empty text;
    // the abort reply and the unsent Ids give null.
    EXPECT_THAT(replies, ElementsAre("", "", "COMBINE", "", "", "89", "C:\\Apps\\Parcelon\\", "", "", "null",
                                     "null", "null", "null"));
}

TEST_F(RTPatchTest, AbortReplyBecomesNullForTextAndPointerIds) {
    int32_t count = 1;
    const char* group[] = {"X", "Y"};
    TStandInEngine played(Sends({{7, const_cast<char*>("a.dat")}, {6, &count}, {20, group}}, replies));
    for (WPARAM id : {7, 6, 20})
        Replies[id] = RTPatchAbortReply;
    TRTPatch(nullptr, engine, "x");
    EXPECT_THAT(replies, ElementsAre("null", "null", "null"));
}

TEST_F(RTPatchTest, ResultCodesBecomeEngineExceptionsOnTheirLow16Bits) {
    const auto run = [&](UINT result) {
        return [this, result] {
            TStandInEngine played([result](TEngineCallback) { return result; });
            TRTPatch(nullptr, engine, "x");
        };
    };
    EXPECT_EQ(MessageOf<ERTPatchAborted>(run(32769)), "Patch was aborted.");
    EXPECT_EQ(MessageOf<ERTExtractingDLL>(run(32770)), "Patch has invalid format.");
    EXPECT_EQ(MessageOf<ERTPatch>(run(5)), "Fatal .RTPatch error : 5");
    EXPECT_EQ(MessageOf<ERTPatch>(run(98307)), "Fatal .RTPatch error : 32771");
    EXPECT_NO_THROW(run(65536)());
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
    char text[] = "text";
    const std::vector<Call> calls = {{1, text}, {7, text}, {1, text}};
    TStandInEngine played(Sends(calls, replies, 32769));
    SetRTPatchSender(ThrowingSender);
    // Not the engine's "aborted" code: the callback's exception wins.
    EXPECT_EQ(MessageOf<Exception>([&] { TRTPatch(nullptr, engine, "x"); }),
              "RTPatch callback message ID: 7\rthe handler broke");
    EXPECT_THAT(replies, ElementsAre("", "null", "null"));

    // The next run starts clean.
    replies.clear();
    played.Play = Sends({calls[0]}, replies);
    EXPECT_NO_THROW(TRTPatch(nullptr, engine, "x"));
    EXPECT_THAT(replies, ElementsAre(""));
}

} // namespace
