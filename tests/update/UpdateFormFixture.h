// A real update window for the run-step tests, made for the Parcelon product with
// the county table kept away from the installation finder, and a recorder that
// answers every dialog.
#pragma once

#include <windows.h>

#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "ui/ModalHook.h"
#include "update/Update.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace oru::test {

struct TUpdateFormArgs {
    bool IsLEEdition = false;
    std::string InstallDir = "C:\\Apps\\Parcelon\\";
    std::string UpdateArchivePath = "C:\\upd\\ORU.mcu";
    std::string PatchArchivePath = "C:\\upd\\ORU.rtp";
    bool LocalPatchDll = false;
};

class UpdateFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetProductKind(1);
        SetPresortTablesFolderQuery([] { return std::string(); });
    }
    void TearDown() override {
        form.reset();
        SetPresortTablesFolderQuery(nullptr);
        ResetProductCatalogue();
    }

    TfrmUpdate& MakeForm(const TUpdateFormArgs& a = {}) {
        form = std::make_unique<TfrmUpdate>(nullptr, a.IsLEEdition, false, a.InstallDir, a.UpdateArchivePath,
                                            a.PatchArchivePath, "01.23.00.00", a.LocalPatchDll, "");
        return *form;
    }
    std::vector<std::string> History() const { return form->History->Lines().Items(); }

    TModalRecorder dialogs;
    std::unique_ptr<TfrmUpdate> form;
};

} // namespace oru::test
