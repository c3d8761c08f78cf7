#include <windows.h>

#include "app/UpdateConfirm.h"

#include "archive/PkwareZip.h"
#include "install/ProductCatalogue.h"
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
    void SetUp() override { ResetProductCatalogue(); }
    void TearDown() override {
        ResetProductCatalogue();
        Application().SetHelpFile("");
    }
    TConfirmUpdateArgs Parcelon() { return {{installDir, "-NV", "Y", "-P", "1"}, updateDir, 0}; }

    TModalRecorder recorder;
    TScratch root{"confirm"};
    std::string installDir = root.MakeFolder("Parcelon");
    std::string updateDir = root.MakeFolder("update");
};

// A stop shows one error box, with Help once the product is known, then aborts;
// an error while unpacking the engine is no stop and shows nothing.
TEST_F(ConfirmFormTest, AStopShowsOneErrorBoxThenAborts) {
    const std::tuple<std::vector<std::string>, std::string, TMsgDlgButtons, std::string> rows[] = {
        {{"X", "-NV", "N", "-P", "1x"},
         "An invalid Oru Software product type [1x] was passed to the update.",
         mbOK,
         ""},
        {Parcelon().Params,
         "The ORU Parcelon executable was not located.\rThe update could not be performed.",
         mbOK | mbHelp, installDir + "Parcelon2010.hlp"},
    };
    for (const auto& [params, text, buttons, helpFile] : rows) {
        recorder.Messages.clear();
        EXPECT_THROW(TfrmConfirmUpdate({params, updateDir, 0}), EAbort);
        ASSERT_EQ(recorder.Messages.size(), 1u);
        const auto& m = recorder.Messages[0];
        EXPECT_EQ(m.Text, text);
        EXPECT_EQ(m.Type, TMsgDlgType::mtError);
        EXPECT_EQ(m.Buttons, buttons);
        EXPECT_EQ(m.HelpContext, 0);
        EXPECT_EQ(Application().HelpFile(), helpFile);
    }

    recorder.Messages.clear();
    root.Write("Parcelon\\parcelon.exe", "MZ");
    root.Write("update\\ORU.VER", "1\r\nN\r\nY\r\n");
    root.Write("update\\ORU.rtp", "patch");
    root.Write("update\\PATCHW32.mzp", "PK\x03\x04 broken");
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { TfrmConfirmUpdate form(Parcelon()); }),
              "'PATCHW32.mzp' is not a valid ZIP archive");
    EXPECT_TRUE(recorder.Messages.empty());
}

// Not GetWindowText: it would wait for the form thread, which joins the watcher.
BOOL CALLBACK NoteUpdateWindow(HWND w, LPARAM seen) {
    wchar_t title[64] = {};
    InternalGetWindowText(w, title, 64);
    if (IsWindowVisible(w) && std::wstring(title) == L"ORU Parcelon Update")
        *reinterpret_cast<bool*>(seen) = true;
    return TRUE;
}

// The window gets what the command line and the package said and, with nothing to
// apply, offers Done at once. The banner must be on the screen during the pause, not
// after it: a watcher notes when the window first shows, and the run may end no
// sooner than the pause after that. Ending the session is never refused.
TEST_F(ConfirmFormTest, PackageWantingNothingShowsTheUpdateWindowReadyToClose) {
    using Clock = std::chrono::steady_clock;
    root.Write("Parcelon\\parcelon.exe", "MZ");
    root.Write("update\\ORU.VER", "01.23.00.00\r\nN\r\nN\r\n");
    TConfirmUpdateArgs args = Parcelon();
    args.PauseMilliseconds = 500;
    const DWORD formThread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    Clock::time_point shownAt = Clock::time_point::max();
    std::thread watcher([&] {
        for (bool seen = false; !done && !seen; Sleep(5)) {
            EnumThreadWindows(formThread, NoteUpdateWindow, reinterpret_cast<LPARAM>(&seen));
            if (seen)
                shownAt = Clock::now();
        }
    });
    TfrmConfirmUpdate form(args);
    const auto endedAt = Clock::now();
    done = true;
    watcher.join();
    EXPECT_GE(endedAt - shownAt, std::chrono::milliseconds(400)) << "shown late or never";
    EXPECT_TRUE(recorder.Messages.empty());
    EXPECT_EQ(form.Caption(), "ORU Parcelon Update");
    ASSERT_NE(form.UpdateForm(), nullptr);
    TfrmUpdate& window = *form.UpdateForm();
    EXPECT_TRUE(window.Visible());
    EXPECT_TRUE(window.NetworkInstall);
    EXPECT_EQ(window.Version, "01.23.00.00");
    EXPECT_EQ(window.InstallDir, installDir);
    EXPECT_EQ(window.UpdateArchivePath, updateDir + "ORU.mcu");
    EXPECT_EQ(window.PatchArchivePath, updateDir + "ORU.rtp");
    EXPECT_EQ(window.btnCancel->Caption(), "&Done");
    EXPECT_TRUE(window.btnCancel->Enabled());
    EXPECT_EQ(form.Perform(WM_QUERYENDSESSION, 0, 0), 1);
}

} // namespace
