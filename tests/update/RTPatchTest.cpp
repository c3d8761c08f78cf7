#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/SystemFolders.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"
#include "update/RTPatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// What the receiving window saw of one callback message, read while it was handled.
struct Received {
    WPARAM Id;
    std::string Data;
};

std::vector<Received> Inbox;
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

LRESULT CALLBACK RecordingWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_USER)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    Inbox.push_back({wParam, Describe(wParam, lParam)});
    auto reply = Replies.find(wParam);
    return reply == Replies.end() ? 0 : reply->second;
}

LRESULT ThrowingSender(HWND, UINT, WPARAM wParam, LPARAM) {
    if (wParam == 7)
        throw Exception("the handler broke");
    return 0;
}

class RTPatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Inbox.clear();
        Replies.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "OruRTPatchTestWindow";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        SetRTPatchSender(nullptr);
    }

    std::string Engine() const { return ProgramFolder() + "patchw32.dll"; }

    HWND window = nullptr;
    TScratch scratch;
};

TEST_F(RTPatchTest, ForwardsEachCallbackAndPassesTheRepliesBack) {
    TEngineScript script(scratch, "send 1 text Reading\\nline two\n"
                                  "send 5 u16 16384\n"
                                  "send 6 i32 3\n"
                                  "send 7 text parcelon.exe\n"
                                  "send 8 none\n"
                                  "send 19 pair GROUP|second text\n"
                                  "send 20 pair unibrook|other\n"
                                  "send 21 none\n"
                                  "send 28 none\n"
                                  "send 13 none\n"
                                  "send 0 none\n"
                                  "send 27 none\n"
                                  "send 29 none\n"
                                  "return 0\n");
    Replies[6] = reinterpret_cast<LRESULT>(Combine);
    Replies[19] = 89;
    Replies[20] = reinterpret_cast<LRESULT>(Folder);
    Replies[13] = RTPatchAbortReply;

    TRTPatch patch(window, Engine(), "  \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"\r\n");

    EXPECT_EQ(patch.CommandLine(), "\"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"");
    std::vector<std::string> log = script.Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "command \"C:\\Apps\\Parcelon\" \"C:\\upd\\ORU.rtp\"");
    EXPECT_EQ(log[1], "flag 1");
    EXPECT_EQ(log[2], "folder C:\\");

    // Ids 0, 27 and above 28 never reach the window.
    std::vector<std::string> seen;
    for (const Received& r : Inbox)
        seen.push_back(std::to_string(r.Id) + " " + r.Data);
    EXPECT_THAT(seen, ElementsAre("1 Reading\nline two", "5 16384", "6 3", "7 parcelon.exe",
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
    TEngineScript script(scratch, "send 7 text a.dat\nsend 6 i32 1\nsend 20 pair X|Y\nreturn 0\n");
    for (WPARAM id : {7, 6, 20})
        Replies[id] = RTPatchAbortReply;
    TRTPatch patch(window, Engine(), "x");
    EXPECT_THAT(script.Replies(), ElementsAre("7 null", "6 null", "20 null"));
}

TEST_F(RTPatchTest, EmptyCommandLineLoadsTheLibraryButDoesNotRunTheEngine) {
    TEngineScript script(scratch, "return 0\n");
    TRTPatch patch(window, Engine(), " \t\r\n ");
    EXPECT_EQ(patch.CommandLine(), "");
    EXPECT_NE(patch.LibHandle(), nullptr);
    EXPECT_NE(patch.ApplyProc(), nullptr);
    EXPECT_FALSE(test::FileExists(script.LogPath()));

    patch.SetCommandLine(" now ");
    EXPECT_TRUE(test::FileExists(script.LogPath()));
    EXPECT_EQ(script.Log().at(0), "command now");
}

TEST_F(RTPatchTest, ResultCodesBecomeEngineExceptions) {
    struct Case {
        const char* result;
        const char* message;
    };
    for (Case c : {Case{"32769", "Patch was aborted."}, Case{"32770", "Patch has invalid format."},
                   Case{"5", "Fatal .RTPatch error : 5"},
                   Case{"98307", "Fatal .RTPatch error : 32771"}}) {
        SCOPED_TRACE(c.result);
        TEngineScript script(scratch, std::string("return ") + c.result + "\n");
        try {
            TRTPatch patch(window, Engine(), "x");
            ADD_FAILURE() << "no exception";
        } catch (const ERTPatchAborted& e) {
            EXPECT_STREQ(c.result, "32769");
            EXPECT_EQ(e.Message(), c.message);
        } catch (const ERTExtractingDLL& e) {
            EXPECT_STREQ(c.result, "32770");
            EXPECT_EQ(e.Message(), c.message);
        } catch (const ERTPatch& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        // A constructor that failed leaves the library unloaded.
        EXPECT_EQ(GetModuleHandleA(Engine().c_str()), nullptr);
    }
}

TEST_F(RTPatchTest, OnlyTheLow16BitsOfTheResultCount) {
    TEngineScript script(scratch, "return 65536\n"); // 0x10000
    EXPECT_NO_THROW(TRTPatch(window, Engine(), "x"));
}

TEST_F(RTPatchTest, ThePlainNameFindsTheLibraryBesideTheProgram) {
    TEngineScript script(scratch, "return 0\n");
    TRTPatch patch(window, "", "x");
    EXPECT_EQ(patch.LibHandle(), GetModuleHandleA(Engine().c_str()));
    EXPECT_EQ(RTPatchWindow, window);
}

TEST_F(RTPatchTest, LoadingFailuresShowTheSystemTextThenAbortSilently) {
    TModalRecorder dialogs;
    std::string missing = scratch.File("nothere.dll");
    EXPECT_THROW(TRTPatch(window, missing, "x"), EAbort);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_THAT(dialogs.Messages[0].Text, HasSubstr("nothere.dll"));
    EXPECT_THAT(dialogs.Messages[0].Text, HasSubstr("(126)")); // module not found
    EXPECT_EQ(dialogs.Messages[0].Type, TMsgDlgType::mtError);

    std::string noEntry = ProgramFolder() + "noentry.dll";
    EXPECT_THROW(TRTPatch(window, noEntry, "x"), EAbort);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_THAT(dialogs.Messages[1].Text, HasSubstr("noentry.dll"));
    EXPECT_THAT(dialogs.Messages[1].Text, HasSubstr("(127)")); // procedure not found
    EXPECT_EQ(GetModuleHandleA(noEntry.c_str()), nullptr);
}

// An exception out of the message delivery must not unwind through the engine: the
// engine gets the abort reply (also for every later callback) and the exception,
// with the Id in front, comes out of the constructor after the engine returned.
TEST_F(RTPatchTest, CallbackExceptionsWaitUntilTheEngineHasReturned) {
    TEngineScript script(scratch, "send 1 text before\nsend 7 text a.dat\nsend 1 text after\n"
                                  "return 32769\n");
    SetRTPatchSender(ThrowingSender);
    try {
        TRTPatch patch(window, Engine(), "x");
        ADD_FAILURE() << "no exception";
    } catch (const ERTPatchAborted&) {
        ADD_FAILURE() << "the engine's code won over the callback's exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "RTPatch callback message ID: 7\rthe handler broke");
    }
    EXPECT_THAT(script.Replies(), ElementsAre("1 text ", "7 null", "1 null"));

    // The next run starts clean.
    SetRTPatchSender(nullptr);
    TEngineScript again(scratch, "send 1 text fine\nreturn 0\n");
    EXPECT_NO_THROW(TRTPatch(window, Engine(), "x"));
    EXPECT_THAT(again.Replies(), ElementsAre("1 text "));
}

} // namespace
