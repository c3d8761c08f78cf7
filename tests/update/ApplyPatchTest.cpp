#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/SystemFolders.h"
#include "UpdateFormFixture.h"

#include <gmock/gmock.h>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;

namespace {

std::string Folder(UINT (*query)(LPSTR, UINT)) {
    char buffer[MAX_PATH];
    UINT n = query(buffer, MAX_PATH);
    return std::string(buffer, n) + "\\";
}
UINT WindowsDirectory(LPSTR b, UINT n) { return GetWindowsDirectoryA(b, n); }
UINT SystemDirectory(LPSTR b, UINT n) { return GetSystemDirectoryA(b, n); }

class ApplyPatchTest : public UpdateFormTest {
protected:
    TfrmUpdate& PatchForm(bool localDll) {
        TUpdateFormArgs a;
        a.InstallDir = "D:\\Apps\\Parcelon\\";
        a.PatchArchivePath = "E:\\upd\\ORU.rtp";
        a.LocalPatchDll = localDll;
        TfrmUpdate& f = MakeForm(a);
        f.Show();
        banner = History().size();
        return f;
    }
    // The lines the patch step writes before the engine runs.
    std::vector<std::string> Preamble(const std::string& dllLine) const {
        const std::string windows = Folder(WindowsDirectory);
        const std::string drive = windows.substr(0, 1);
        return {" ",
                "ORU Parcelon installation folder: D:\\Apps\\Parcelon\\",
                " ",
                "Windows folder: " + windows,
                "System folder: " + Folder(SystemDirectory),
                " ",
                "ORU Parcelon patch file: E:\\upd\\ORU.rtp [-d" + drive + "D]",
                " ",
                dllLine};
    }
    std::vector<std::string> With(std::vector<std::string> lines,
                                  std::initializer_list<std::string> more) const {
        lines.insert(lines.end(), more);
        return lines;
    }

    TScratch scratch;
    size_t banner = 0;
};

TEST_F(ApplyPatchTest, TheLocalEngineRunsWithTheBuiltCommandLine) {
    TEngineScript script(scratch, "send 1 text Applying\nreturn 0\n");
    TfrmUpdate& f = PatchForm(true);
    EXPECT_FALSE(f.pbPatch->Visible());
    f.ApplyPatch();

    EXPECT_EQ(HistoryFrom(banner), With(Preamble("Patch DLL: Local"), {"Applying", " "}));
    const std::string drive = Folder(WindowsDirectory).substr(0, 1);
    EXPECT_EQ(script.Log().at(0),
              "command -d" + drive + "D \"D:\\Apps\\Parcelon\" \"E:\\upd\\ORU.rtp\"");
    for (TControl* c : std::initializer_list<TControl*>{f.pbFile, f.pbPatch, f.lbFile, f.lbPatch})
        EXPECT_TRUE(c->Visible());
    // Released at the end of the step: the library is unloaded again.
    EXPECT_EQ(GetModuleHandleA((ProgramFolder() + "patchw32.dll").c_str()), nullptr);
}

TEST_F(ApplyPatchTest, EngineOutcomesEndThePatchRun) {
    struct Case {
        const char* script;
        std::vector<std::string> ending;
        const char* box;
    };
    const Case cases[] = {
        // The engine gives up when the window answers "abort".
        {"abort-on-null\nsend 7 text parcelon.exe\nsend 14 none\nreturn 0\n",
         {"The patch file, E:\\upd\\ORU.rtp, is invalid.", " ", "ORU Parcelon update aborted"},
         "Patch was aborted."},
        {"send 7 text parcelon.exe\nreturn 5\n",
         {"Error updating - parcelon.exe", " ", "ORU Parcelon update failed"},
         "Fatal .RTPatch error : 5"},
        {"return 32770\n", {" ", "ORU Parcelon update failed"}, "Patch has invalid format."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TEngineScript script(scratch, c.script);
        size_t boxes = ErrorTexts().size();
        TfrmUpdate& f = PatchForm(true);
        f.UpdateFromPatch();
        std::vector<std::string> lines = HistoryFrom(banner);
        ASSERT_GE(lines.size(), c.ending.size());
        EXPECT_EQ(std::vector<std::string>(lines.end() - c.ending.size(), lines.end()), c.ending);
        ASSERT_EQ(ErrorTexts().size(), boxes + 1);
        EXPECT_EQ(ErrorTexts().back(), c.box);
        EXPECT_EQ(f.btnCancel->Caption(), "&Done");
    }
}

TEST_F(ApplyPatchTest, RestartRequestedByTheEngineIsAnnounced) {
    TEngineScript script(scratch, "send 26 none\nreturn 0\n");
    TfrmUpdate& f = PatchForm(true);
    f.UpdateFromPatch();
    std::vector<std::string> lines = HistoryFrom(banner);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "the ORU Parcelon Update to take effect.");
    EXPECT_TRUE(f.RestartRequired);
}

} // namespace
