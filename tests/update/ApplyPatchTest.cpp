#include <windows.h>

#include "StandInEngineSupport.h"
#include "platform/SysUtils.h"
#include "support/SystemFolders.h"
#include "UpdateFormFixture.h"

#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;

namespace {

using ApplyPatchTest = UpdateFormTest;

// The engine from the system folder is the end-to-end patch run's; here the one
// unpacked beside the program, loaded by its plain name.
TEST_F(ApplyPatchTest, HistoryTellsWhereThePatchGoesAndTheEngineGetsTheBuiltCommandLine) {
    const std::string drives = "-d" + WindowsFolder().substr(0, 1) + "D";
    TStandInEngine played([](TEngineCallback callback) {
        callback(1, const_cast<char*>("Applying"));
        return 0u;
    });
    TfrmUpdate& f = MakeForm({.InstallDir = "D:\\Apps\\Parcelon\\",
                              .PatchArchivePath = "E:\\upd\\ORU.rtp", .LocalPatchDll = true});
    const std::vector<TControl*> meters = {f.pbFile, f.pbPatch, f.lbFile, f.lbPatch};
    for (const TControl* c : meters)
        EXPECT_FALSE(c->Visible());
    f.ApplyPatch();
    EXPECT_EQ(History(), (Lines{" ", "ORU Parcelon installation folder: D:\\Apps\\Parcelon\\", " ",
                                "Windows folder: " + WindowsFolder(),
                                "System folder: " + SystemFolder(), " ",
                                "ORU Parcelon patch file: E:\\upd\\ORU.rtp [" + drives + "]", " ",
                                "Patch DLL: Local", "Applying", " "}));
    EXPECT_EQ(played.CommandLine, drives + " \"D:\\Apps\\Parcelon\" \"E:\\upd\\ORU.rtp\"");
    // Released at the end of the step: the library is unloaded again.
    EXPECT_EQ(GetModuleHandleA((ProgramFolder() + "patchw32.dll").c_str()), nullptr);
    for (const TControl* c : meters)
        EXPECT_TRUE(c->Visible());
}

} // namespace
