// The county table reloaded at the end of a real archive run, with the presort
// tables folder found the way the program finds it: the product's registry values
// name two installations and nothing tells them apart, so the user's answer in the
// choose-installation dialog settles it.
#include <windows.h>

#include "StandInEngineSupport.h"
#include "UpdateFormFixture.h"
#include "install/ChooseInstallation.h"
#include "install/FindOruPathWindows.h"
#include "support/Files.h"
#include "support/RegistryKey.h"
#include "support/Scratch.h"

using namespace oru;
using namespace oru::test;

using CountiesReload = UpdateFormTest;

TEST_F(CountiesReload, TheUsersAnswerInTheRealDialogChoosesTheTableLoadedAfterTheRun) {
    SetPresortTablesFolderQuery(nullptr);
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
    // The user picks the network installation in the real dialog.
    dialogs.OnShowModal = [](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        dialog.rgChooseExe->ClickItem(1);
        dialog.btnOK->Click();
        return dialog.ModalResult();
    };
    MakeForm({.InstallDir = install, .UpdateArchivePath = archive, .PatchArchivePath = ""}).UpdateFromArchive();
    EXPECT_EQ(dialogs.ModalForms, Lines{TfrmChooseExe::FlagshipName});
    EXPECT_EQ(History().back(), "ORU Parcelon is updated to version 01.23.00.00.");
    EXPECT_EQ(ReadWholeFile(install + "Readme.txt"), "new notes");
    const TCountiesTableArray table = CountiesTableSlot(0);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_EQ(table.front()[0], 'N');
    EXPECT_EQ(PresortTablesFolder(), scratch.File("Net\\Presort Tables\\"));
}
