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

TEST_F(ApplyPatchTest, HistoryTellsWhereThePatchGoesAndTheEngineGetsTheBuiltCommandLine) {
    const std::string drives = "-d" + WindowsFolder().substr(0, 1) + "D";
    const auto preamble = [&](const std::string& dllLine) {
        return Lines{" ", "ORU Parcelon installation folder: D:\\Apps\\Parcelon\\", " ",
                     "Windows folder: " + WindowsFolder(), "System folder: " + SystemFolder(), " ",
                     "ORU Parcelon patch file: E:\\upd\\ORU.rtp [" + drives + "]", " ", dllLine};
    };
    for (bool local : {true, false}) {
        SCOPED_TRACE(local);
        TStandInEngine played([](TEngineCallback callback) {
            callback(1, const_cast<char*>("Applying"));
            return 0u;
        });
        TfrmUpdate& f = MakeForm({.InstallDir = "D:\\Apps\\Parcelon\\",
                                  .PatchArchivePath = "E:\\upd\\ORU.rtp", .LocalPatchDll = local});
        EXPECT_FALSE(f.pbPatch->Visible());
        if (local) {
            f.ApplyPatch();
            auto expected = preamble("Patch DLL: Local");
            expected.insert(expected.end(), {"Applying", " "});
            EXPECT_EQ(History(), expected);
            EXPECT_EQ(played.CommandLine, drives + " \"D:\\Apps\\Parcelon\" \"E:\\upd\\ORU.rtp\"");
            // Released at the end of the step: the library is unloaded again.
            EXPECT_EQ(GetModuleHandleA((ProgramFolder() + "patchw32.dll").c_str()), nullptr);
        } else {
            // None in the system folder: the loader's report, then the step ends.
            EXPECT_THROW(f.ApplyPatch(), EAbort);
            EXPECT_EQ(History(), preamble("Patch DLL: " + SystemFolder() + "patchw32.dll"));
        }
        for (const TControl* c : std::vector<TControl*>{f.pbFile, f.pbPatch, f.lbFile, f.lbPatch})
            EXPECT_TRUE(c->Visible());
    }
}

} // namespace
