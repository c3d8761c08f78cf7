// The county table reloaded at the end of a real archive run, with the presort
// tables folder found the way the program finds it: the product's registry
// values, the installation marker files and, when nothing settles it, the user's
// answer in the choose-installation dialog.
#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/RegistryKey.h"
#include "support/SystemFolders.h"
#include "install/ChooseInstallation.h"
#include "install/CountiesTable.h"
#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "ui/Form.h"
#include "ui/ModalHook.h"
#include "update/Update.h"

#include "support/TimerScript.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace oru;
using namespace oru::test;

namespace {

const char* const kPathsKey = "Software\\Oru Software\\Parcelon 2010\\Paths";

// The product's Paths values for one case; what was there before (usually
// nothing) is put back at the end.
struct TPathsValues : TRegistryKey {
    TPathsValues() : TRegistryKey(kPathsKey)
    {
        for (const char* name : {"ORU_PATH", "ORU_NETWORK_PATH", "ORU_CLIENT_PATH", "ORU_DATA_PATH", "ORU_Presort_Path"})
            Remove(name);
    }
};

// An installation folder under the scratch folder, with its presort county table
// of `records` five-byte records whose first byte tells the installations apart.
std::string MakeInstallation(const TScratch& scratch, const std::string& name, int records, char tag)
{
    const std::string folder = scratch.File(name + "\\");
    std::filesystem::create_directories(folder + "Data Files");
    std::filesystem::create_directories(folder + "Presort Tables");
    std::string table;
    for (int i = 0; i < records; ++i)
        table += std::string{tag, static_cast<char>('0' + i), 0, 0, static_cast<char>(i)};
    WriteWholeFile(folder + "Presort Tables\\COUNTIES.TBL", table);
    return folder;
}

class CountiesReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductCatalogue();
        ClearCountiesTables();
        SetProductKind(1);
        UseWindowsInstallationFinder();
        archive = scratch.File("ORU.mcu");
        install = scratch.File("Target\\");
        std::filesystem::create_directories(install);
        WriteArchive(archive, {{"<INSTALLDIR>;1", "Readme.txt", "new notes"}});
    }
    void TearDown() override
    {
        form.reset();
        ResetProductCatalogue();
        ClearCountiesTables();
    }

    void Run()
    {
        form = std::make_unique<TfrmUpdate>(nullptr, false, false, install, archive, "", "01.23.00.00", false, "");
        form->UpdateFromArchive();
    }
    std::string LastHistoryLine() const
    {
        std::vector<std::string> lines = form->History->Lines().Items();
        return lines.empty() ? std::string() : lines.back();
    }

    TScratch scratch;
    TPathsValues paths;
    std::string archive;
    std::string install;
    std::unique_ptr<TfrmUpdate> form;
};

TEST_F(CountiesReload, LocalMarkerInTheOnlyRegisteredFolderLoadsItsTableSilently)
{
    const std::string network = MakeInstallation(scratch, "Net", 7, 'N');
    WriteWholeFile(network + "Data Files\\ORULocal", "");
    paths.Set("ORU_NETWORK_PATH", network);
    TModalRecorder dialogs;

    Run();

    EXPECT_EQ(ReadWholeFile(install + "Readme.txt"), "new notes");
    EXPECT_EQ(LastHistoryLine(), "ORU Parcelon is updated to version 01.23.00.00.");
    const TCountiesTableArray table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table.front()[0], 'N');
    EXPECT_EQ(table.back()[1], '6');
    EXPECT_EQ(PresortTablesFolder(), network + "Presort Tables\\");
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_TRUE(dialogs.ModalForms.empty());
    EXPECT_TRUE(dialogs.OpenDialogs.empty());
}

// Both installations exist and nothing tells them apart: the reload asks the
// user, who picks an item with the mouse and confirms with Enter.
class CountiesReloadAsked : public CountiesReload {
protected:
    void SetUp() override
    {
        CountiesReload::SetUp();
        main = MakeInstallation(scratch, "Main", 3, 'M');
        network = MakeInstallation(scratch, "Net", 5, 'N');
        paths.Set("ORU_PATH", main);
        paths.Set("ORU_NETWORK_PATH", network);
    }

    // Runs with the real dialog answered by item (0 local, 1 network); returns
    // whether the dialog was there to answer.
    bool RunAnswering(size_t item)
    {
        EXPECT_EQ(ModalHook(), nullptr);
        // The run may pump messages before the dialog opens, so every tick looks
        // for it: the first tick that finds it clicks the item, the next presses Enter.
        HWND chosen = nullptr;
        bool asked = false;
        bool entered = false;
        auto step = [&] {
            if (entered)
                return;
            if (chosen) {
                PostKey(chosen, VK_RETURN);
                entered = true;
                return;
            }
            HWND window = FindThreadForm(TfrmChooseExe::FlagshipName);
            if (!window)
                return;
            auto* dialog = static_cast<TfrmChooseExe*>(TForm::FromWindow(window));
            ASSERT_NE(dialog, nullptr);
            asked = true;
            chosen = dialog->rgChooseExe->ItemHandle(item);
            SendMessageA(chosen, BM_CLICK, 0, 0);
        };
        TimerScript script(std::vector<std::function<void()>>(500, step));
        Run();
        return asked;
    }

    std::string main;
    std::string network;
};

TEST_F(CountiesReloadAsked, NetworkChosenLoadsTheNetworkTable)
{
    ASSERT_TRUE(RunAnswering(1));
    EXPECT_EQ(LastHistoryLine(), "ORU Parcelon is updated to version 01.23.00.00.");
    const TCountiesTableArray table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table.front()[0], 'N');
    // The answer is kept: asking again shows no second dialog.
    EXPECT_EQ(PresortTablesFolder(), network + "Presort Tables\\");
}

TEST_F(CountiesReloadAsked, LocalChosenLoadsTheLocalTable)
{
    ASSERT_TRUE(RunAnswering(0));
    const TCountiesTableArray table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.front()[0], 'M');
    EXPECT_EQ(PresortTablesFolder(), main + "Presort Tables\\");
}

} // namespace
