// The county table reloaded at the end of a real archive run, with the presort
// tables folder found the way the program finds it: the product's registry values
// name two installations and nothing tells them apart, so the user's answer in the
// real choose-installation dialog settles it.
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

using namespace oru;
using namespace oru::test;

TEST(CountiesReload, TheUsersAnswerInTheRealDialogChoosesTheTableLoadedAfterTheRun)
{
    ResetProductCatalogue();
    ClearCountiesTables();
    SetProductKind(1);
    UseWindowsInstallationFinder();
    TScratch scratch;
    TRegistryKey paths("Software\\Oru Software\\Parcelon 2010\\Paths");
    for (const char* name : {"ORU_CLIENT_PATH", "ORU_DATA_PATH", "ORU_Presort_Path"})
        paths.Remove(name);
    // Two installations whose county tables' records start with their tag.
    for (auto [name, value, tag, records] : {std::tuple{"Main", "ORU_PATH", 'M', 3}, {"Net", "ORU_NETWORK_PATH", 'N', 5}}) {
        paths.Set(value, scratch.MakeFolder(name));
        scratch.MakeFolder(std::string(name) + "\\Data Files");
        std::string table;
        for (int i = 0; i < records; ++i)
            table += std::string{tag, static_cast<char>('0' + i), 0, 0, static_cast<char>(i)};
        scratch.Write(std::string(name) + "\\Presort Tables\\COUNTIES.TBL", table);
    }
    const std::string archive = scratch.File("ORU.mcu"), install = scratch.MakeFolder("Target");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "Readme.txt", "new notes"}});
    ASSERT_EQ(ModalHook(), nullptr);
    // The run may pump messages before the dialog opens, so every tick looks for
    // it: the first that finds it clicks the network item, the next presses Enter.
    HWND chosen = nullptr;
    bool entered = false;
    TimerScript script(std::vector<std::function<void()>>(500, [&] {
        if (chosen && !entered) {
            PostKey(chosen, VK_RETURN);
            entered = true;
        } else if (HWND window = chosen ? nullptr : FindThreadForm(TfrmChooseExe::FlagshipName)) {
            chosen = static_cast<TfrmChooseExe*>(TForm::FromWindow(window))->rgChooseExe->ItemHandle(1);
            SendMessageA(chosen, BM_CLICK, 0, 0);
        }
    }));
    TfrmUpdate form(nullptr, false, false, install, archive, "", "01.23.00.00", false, "");
    form.UpdateFromArchive();

    EXPECT_TRUE(entered);
    EXPECT_EQ(form.History->Lines().Items().back(), "ORU Parcelon is updated to version 01.23.00.00.");
    EXPECT_EQ(ReadWholeFile(install + "Readme.txt"), "new notes");
    const TCountiesTableArray table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table.front()[0], 'N');
    EXPECT_EQ(PresortTablesFolder(), scratch.File("Net\\Presort Tables\\"));
    ResetProductCatalogue();
    ClearCountiesTables();
}
