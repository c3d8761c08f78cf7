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

// (Id, data) as the window would have been sent them, and the window's replies.
using Calls = std::vector<std::pair<WPARAM, void*>>;
Calls Inbox;
std::map<WPARAM, LRESULT> Replies;

LRESULT RecordingSender(HWND, UINT msg, WPARAM id, LPARAM parm) {
    EXPECT_EQ(msg, static_cast<UINT>(WM_USER));
    Inbox.emplace_back(id, reinterpret_cast<void*>(parm));
    auto reply = Replies.find(id);
    return reply == Replies.end() ? 0 : reply->second;
}

// The engine's side: it sends each call and notes the reply as "null" or the text.
std::function<UINT(TEngineCallback)> Sends(Calls calls, std::vector<std::string>& replies,
                                           UINT result = 0) {
    return [=, &replies](TEngineCallback callback) {
        for (const auto& [id, parm] : calls) {
            void* reply = callback(static_cast<UINT>(id), parm);
            replies.push_back(reply ? static_cast<const char*>(reply) : "null");
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
    const WPARAM ids[] = {1, 5, 6, 7, 8, 19, 20, 21, 28, 13, 0, 27, 29};
    char data[std::size(ids)];
    Calls calls;
    for (size_t i = 0; i < std::size(ids); ++i)
        calls.emplace_back(ids[i], &data[i]);
    TStandInEngine played(Sends(calls, replies));
    Replies[6] = reinterpret_cast<LRESULT>("COMBINE");
    Replies[19] = RTPatchAbortReply;
    Replies[20] = reinterpret_cast<LRESULT>("C:\\Apps\\Parcelon\\");
    Replies[13] = RTPatchAbortReply;

    TRTPatch(nullptr, engine, "  \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"\r\n");

    // Trimmed, and run with the flag set and the root as the current folder.
    EXPECT_EQ(played.CommandLine, "\"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"");
    EXPECT_EQ(played.Flag, TRUE);
    EXPECT_EQ(played.CurrentFolder, "C:\\");
    // The data unchanged; Ids 0, 27 and above 28 never reach the window.
    EXPECT_EQ(Inbox, Calls(calls.begin(), calls.begin() + 10));
    // Ids 6, 19 and 20 get the window's reply itself, the others an empty text; the
    // abort reply, for a text Id (13) as for one whose reply the engine reads (19),
    // and the unsent Ids give null.
    EXPECT_THAT(replies, ElementsAre("", "", "COMBINE", "", "", "null", "C:\\Apps\\Parcelon\\",
                                     "", "", "null", "null", "null", "null"));
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
    // Module not found, and no ordinal 1.
    EXPECT_THAT(dialogs.Messages[0].Text, AllOf(HasSubstr("nothere.dll"), HasSubstr("(126)")));
    EXPECT_EQ(dialogs.Messages[0].Type, TMsgDlgType::mtError);
    EXPECT_THAT(dialogs.Messages[1].Text, AllOf(HasSubstr("noentry.dll"), HasSubstr("(127)")));
    EXPECT_EQ(GetModuleHandleA(noEntry.c_str()), nullptr);
}

// An exception out of the message delivery must not unwind through the engine: the
// engine gets the abort reply (also for every later callback) and the exception,
// with the Id in front, comes out of the constructor after the engine returned.
TEST_F(RTPatchTest, CallbackExceptionsWaitUntilTheEngineHasReturned) {
    const Calls calls = {{1, nullptr}, {7, nullptr}, {1, nullptr}};
    TStandInEngine played(Sends(calls, replies, 32769));
    SetRTPatchSender([](HWND, UINT, WPARAM id, LPARAM) -> LRESULT {
        if (id == 7)
            throw Exception("the handler broke");
        return 0;
    });
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
