#include <windows.h>

#include "app/UpdateConfirm.h"

#include "TestPackage.h"
#include "install/ProductCatalogue.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"

#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;

namespace {

class ConfirmFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProductCatalogue();
        Application().SetTitle("ORU Update");
        SetApplicationTitleProvider([] { return Application().Title(); });
        installDir = root.Sub("Parcelon");
        updateDir = root.Sub("update");
    }
    void TearDown() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider(nullptr);
        Application().SetHelpFile("");
    }

    TConfirmUpdateArgs Args(std::vector<std::string> params) {
        return {std::move(params), updateDir, 0};
    }
    TConfirmUpdateArgs Parcelon() { return Args({installDir, "-NV", "N", "-P", "1"}); }
    void Package(const std::string& file, const std::string& bytes) {
        WriteBytes(updateDir + file, bytes);
    }

    TModalRecorder recorder;
    TScratchFolder root{"confirm"};
    std::string installDir, updateDir;
};

TEST_F(ConfirmFormTest, InvalidProductNumberShowsItsBoxWithOkOnlyThenAborts) {
    EXPECT_THROW(TfrmConfirmUpdate{Args({"X", "-NV", "N", "-P", "1x"})}, EAbort);
    ASSERT_EQ(recorder.Messages.size(), 1u);
    const auto& m = recorder.Messages[0];
    EXPECT_EQ(m.Text, "An invalid Oru Software product type [1x] was passed to the update.");
    EXPECT_EQ(m.Type, TMsgDlgType::mtError);
    EXPECT_EQ(m.Buttons, mbOK);
    EXPECT_EQ(m.HelpContext, 0);
}

TEST_F(ConfirmFormTest, FailedCheckShowsAnErrorBoxWithHelpThenAborts) {
    EXPECT_THROW(TfrmConfirmUpdate{Args({})}, EAbort);
    ASSERT_EQ(recorder.Messages.size(), 1u);
    const auto& m = recorder.Messages[0];
    EXPECT_EQ(m.Text,
              "The ORU Update executable was not located.\rThe update could not be performed.");
    EXPECT_EQ(m.Type, TMsgDlgType::mtError);
    EXPECT_EQ(m.Buttons, mbOK | mbHelp);
    EXPECT_EQ(m.HelpContext, 0);
    EXPECT_EQ(Application().HelpFile(), "");

    EXPECT_THROW(TfrmConfirmUpdate{Parcelon()}, EAbort);
    EXPECT_EQ(Application().HelpFile(), installDir + "Parcelon2010.hlp");
}

TEST_F(ConfirmFormTest, UnpackingErrorEndsTheStartWithoutABox) {
    WriteBytes(installDir + "parcelon.exe", "MZ");
    Package("ORU.VER", "1\r\nN\r\nY\r\n");
    Package("ORU.rtp", "patch");
    Package("PATCHW32.mzp", "PK\x03\x04 broken");
    try {
        TfrmConfirmUpdate form(Parcelon());
        ADD_FAILURE() << "construction went through";
    } catch (const EAbort&) {
        ADD_FAILURE() << "a silent abort instead of the unpacking error";
    } catch (const std::exception&) {
    }
    EXPECT_TRUE(recorder.Messages.empty());
}

TEST_F(ConfirmFormTest, PackageWantingNothingOpensTheUpdateWindowReadyToClose) {
    WriteBytes(installDir + "parcelon.exe", "MZ");
    Package("ORU.VER", "01.23.00.00\r\nN\r\nN\r\n");
    HWND updateWindow = nullptr;
    {
        TfrmConfirmUpdate form(Parcelon());
        EXPECT_TRUE(recorder.Messages.empty());
        EXPECT_EQ(form.Caption(), "ORU Parcelon Update");
        EXPECT_EQ(form.HelpContext(), TfrmConfirmUpdate::ConfirmHelpContext);
        EXPECT_FALSE(form.Visible());
        ASSERT_NE(form.UpdateForm(), nullptr);
        TfrmUpdate& window = *form.UpdateForm();
        updateWindow = window.Handle();
        EXPECT_TRUE(window.Visible());
        EXPECT_EQ(window.Owner(), &form);
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

} // namespace
