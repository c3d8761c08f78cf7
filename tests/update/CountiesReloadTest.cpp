// The county table reloaded at the end of a real archive run, with the presort
// tables folder found the way the program finds it: the product's registry
// values, the installation marker files and, when nothing settles it, the user's
// answer in the choose-installation dialog.
#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/RegistryKey.h"
#include "support/TimerScript.h"
#include "install/ChooseInstallation.h"
#include "install/CountiesTable.h"
#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "ui/ModalHook.h"
#include "update/Update.h"

#include <gtest/gtest.h>

#include <memory>

using namespace oru;
using namespace oru::test;

namespace {

class CountiesReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductCatalogue();
        ClearCountiesTables();
        SetProductKind(1);
        UseWindowsInstallationFinder();
        for (const char* name : {"ORU_PATH", "ORU_NETWORK_PATH", "ORU_CLIENT_PATH", "ORU_DATA_PATH", "ORU_Presort_Path"})
            paths.Remove(name);
        WriteArchive(archive, {{"<INSTALLDIR>;1", "Readme.txt", "new notes"}});
    }
    void TearDown() override
    {
        form.reset();
        ResetProductCatalogue();
        ClearCountiesTables();
    }

    // An installation folder with a presort county table of `records` five-byte
    // records whose first byte tells the installations apart.
    std::string MakeInstallation(const std::string& name, int records, char tag)
    {
        const std::string folder = scratch.MakeFolder(name);
        scratch.MakeFolder(name + "\\Data Files");
        std::string table;
        for (int i = 0; i < records; ++i)
            table += std::string{tag, static_cast<char>('0' + i), 0, 0, static_cast<char>(i)};
        WriteWholeFile(folder + "Presort Tables\\COUNTIES.TBL", table);
        return folder;
    }
    void Run()
    {
        form = std::make_unique<TfrmUpdate>(nullptr, false, false, install, archive, "", "01.23.00.00", false, "");
        form->UpdateFromArchive();
    }
    void ExpectLoaded(const std::string& folder, size_t records, char tag)
    {
        EXPECT_EQ(form->History->Lines().Items().back(), "ORU Parcelon is updated to version 01.23.00.00.");
        const TCountiesTableArray table = CountiesTableSlot(0);
        ASSERT_EQ(table.size(), records);
        EXPECT_EQ(table.front()[0], tag);
        EXPECT_EQ(PresortTablesFolder(), folder + "Presort Tables\\");
    }

    TScratch scratch;
    TRegistryKey paths{"Software\\Oru Software\\Parcelon 2010\\Paths"};
    std::string archive = scratch.File("ORU.mcu");
    std::string install = scratch.MakeFolder("Target");
    std::unique_ptr<TfrmUpdate> form;
};

// Both installations exist and nothing tells them apart: the reload asks the
// user, who picks the network item with the mouse and confirms with Enter.
TEST_F(CountiesReload, TheUsersAnswerInTheRealDialogChoosesTheTable)
{
    paths.Set("ORU_PATH", MakeInstallation("Main", 3, 'M'));
    const std::string network = MakeInstallation("Net", 5, 'N');
    paths.Set("ORU_NETWORK_PATH", network);
    ASSERT_EQ(ModalHook(), nullptr);
    // The run may pump messages before the dialog opens, so every tick looks for
    // it: the first that finds it clicks the item, the next presses Enter.
    HWND chosen = nullptr;
    bool entered = false;
    TimerScript script(std::vector<std::function<void()>>(500, [&] {
        if (chosen && !entered) {
            PostKey(chosen, VK_RETURN);
            entered = true;
        } else if (HWND window = chosen ? nullptr : FindThreadForm(TfrmChooseExe::FlagshipName)) {
            auto* dialog = static_cast<TfrmChooseExe*>(TForm::FromWindow(window));
            chosen = dialog->rgChooseExe->ItemHandle(1);
            SendMessageA(chosen, BM_CLICK, 0, 0);
        }
    }));
    Run();
    EXPECT_TRUE(entered);
    EXPECT_EQ(ReadWholeFile(install + "Readme.txt"), "new notes");
    ExpectLoaded(network, 5, 'N');
}

} // namespace
