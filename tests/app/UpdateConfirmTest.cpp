#include <windows.h>

#include "app/UpdateConfirm.h"

#include "archive/PkwareZip.h"
#include "install/ProductCatalogue.h"
#include "platform/SysUtils.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace oru;
using namespace oru::test;

namespace {

class ConfirmFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProductCatalogue();
        Application().SetTitle("ORU Update");
        SetApplicationTitleProvider([] { return Application().Title(); });
    }
    void TearDown() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider(nullptr);
        Application().SetHelpFile("");
    }
    TConfirmUpdateArgs Parcelon(const char* network = "N") {
        return {{installDir, "-NV", network, "-P", "1"}, updateDir, 0};
    }
    void Package(const std::string& file, const std::string& bytes) {
        root.Write("update\\" + file, bytes);
    }

    TModalRecorder recorder;
    TScratch root{"confirm"};
    std::string installDir = root.MakeFolder("Parcelon");
    std::string updateDir = root.MakeFolder("update");
};

// A stop shows one error box, with Help once the product is known, then aborts;
// an error while unpacking the engine is no stop and shows nothing.
TEST_F(ConfirmFormTest, AStopShowsOneErrorBoxThenAborts) {
    struct Row {
        std::vector<std::string> params;
        std::string text;
        TMsgDlgButtons buttons;
        std::string helpFile;
    };
    const Row rows[] = {
        {{"X", "-NV", "N", "-P", "1x"},
         "An invalid Oru Software product type [1x] was passed to the update.", mbOK, ""},
        {{}, "The ORU Update executable was not located.\rThe update could not be performed.",
         mbOK | mbHelp, ""},
        {Parcelon().Params,
         "The ORU Parcelon executable was not located.\rThe update could not be performed.",
         mbOK | mbHelp, installDir + "Parcelon2010.hlp"},
    };
    for (const Row& row : rows) {
        recorder.Messages.clear();
        EXPECT_THROW(TfrmConfirmUpdate({row.params, updateDir, 0}), EAbort);
        ASSERT_EQ(recorder.Messages.size(), 1u);
        const auto& m = recorder.Messages[0];
        EXPECT_EQ(m.Text, row.text);
        EXPECT_EQ(m.Type, TMsgDlgType::mtError);
        EXPECT_EQ(m.Buttons, row.buttons);
        EXPECT_EQ(m.HelpContext, 0);
        EXPECT_EQ(Application().HelpFile(), row.helpFile);
    }

    recorder.Messages.clear();
    root.Write("Parcelon\\parcelon.exe", "MZ");
    Package("ORU.VER", "1\r\nN\r\nY\r\n");
    Package("ORU.rtp", "patch");
    Package("PATCHW32.mzp", "PK\x03\x04 broken");
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { TfrmConfirmUpdate form(Parcelon()); }),
              "'PATCHW32.mzp' is not a valid ZIP archive");
    EXPECT_TRUE(recorder.Messages.empty());
}

// Not GetWindowText: it would wait for the form thread, which joins the watcher.
BOOL CALLBACK NoteUpdateWindow(HWND w, LPARAM flag) {
    wchar_t title[64] = {};
    InternalGetWindowText(w, title, 64);
    if (IsWindowVisible(w) && std::wstring(title) == L"ORU Parcelon Update")
        *reinterpret_cast<bool*>(flag) = true;
    return TRUE;
}

// The window gets what the command line and the package said, the network flag
// among them: it decides where the run looks up the EWS folder. The banner must be
// on the screen during the pause, not after it: a watcher thread notes when the
// window first shows, and the run may end no sooner than the pause after that.
TEST_F(ConfirmFormTest, PackageWantingNothingShowsTheUpdateWindowForThePauseThenReadyToClose) {
    using Clock = std::chrono::steady_clock;
    root.Write("Parcelon\\parcelon.exe", "MZ");
    Package("ORU.VER", "01.23.00.00\r\nN\r\nN\r\n");
    for (const char* network : {"N", "Y"}) {
        SCOPED_TRACE(network);
        TConfirmUpdateArgs args = Parcelon(network);
        args.PauseMilliseconds = 2500;
        const DWORD formThread = GetCurrentThreadId();
        std::atomic<bool> done{false}, seen{false};
        Clock::time_point shownAt;
        std::thread watcher([&] {
            while (!done && !seen) {
                bool seenNow = false;
                EnumThreadWindows(formThread, NoteUpdateWindow, reinterpret_cast<LPARAM>(&seenNow));
                if (seenNow) {
                    shownAt = Clock::now();
                    seen = true;
                }
                Sleep(5);
            }
        });
        HWND updateWindow = nullptr;
        {
            TfrmConfirmUpdate form(args);
            const auto endedAt = Clock::now();
            done = true;
            watcher.join();
            ASSERT_TRUE(seen) << "the update window was never shown during the run";
            EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(endedAt - shownAt).count(), 2400);
            EXPECT_TRUE(recorder.Messages.empty());
            EXPECT_EQ(form.Caption(), "ORU Parcelon Update");
            EXPECT_FALSE(form.Visible());
            ASSERT_NE(form.UpdateForm(), nullptr);
            TfrmUpdate& window = *form.UpdateForm();
            updateWindow = window.Handle();
            EXPECT_TRUE(window.Visible());
            EXPECT_EQ(window.NetworkInstall, std::string(network) == "Y");
            EXPECT_EQ(window.Version, "01.23.00.00");
            EXPECT_EQ(window.InstallDir, installDir);
            EXPECT_EQ(window.UpdateArchivePath, updateDir + "ORU.mcu");
            EXPECT_EQ(window.PatchArchivePath, updateDir + "ORU.rtp");
            EXPECT_EQ(window.btnCancel->Caption(), "&Done");
            EXPECT_TRUE(window.btnCancel->Enabled());
            // Ending the session is never refused by the main form.
            EXPECT_EQ(form.Perform(WM_QUERYENDSESSION, 0, 0), 1);
        }
        EXPECT_FALSE(IsWindow(updateWindow));
    }
}

} // namespace
