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
    bool NetworkInstall = false;
    std::string InstallDir = "C:\\Apps\\Parcelon\\";
    std::string UpdateArchivePath = "C:\\upd\\ORU.mcu";
    std::string PatchArchivePath = "C:\\upd\\ORU.rtp";
    std::string Version = "01.23.00.00";
    bool LocalPatchDll = false;
    std::string ExtraMessage;
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
        form = std::make_unique<TfrmUpdate>(nullptr, a.IsLEEdition, a.NetworkInstall, a.InstallDir,
                                            a.UpdateArchivePath, a.PatchArchivePath, a.Version,
                                            a.LocalPatchDll, a.ExtraMessage);
        return *form;
    }

    std::vector<std::string> History() const { return form->History->Lines().Items(); }

    // The History lines after the first n (the banner, when the window was shown).
    std::vector<std::string> HistoryFrom(size_t n) const {
        std::vector<std::string> all = History();
        return n < all.size() ? std::vector<std::string>(all.begin() + n, all.end())
                              : std::vector<std::string>();
    }

    // Error boxes only: the information boxes of a run are not failures.
    std::vector<std::string> ErrorTexts() const {
        std::vector<std::string> texts;
        for (const TMessageDlgRequest& m : dialogs.Messages)
            if (m.Type == TMsgDlgType::mtError)
                texts.push_back(m.Text);
        return texts;
    }

    TModalRecorder dialogs;
    std::unique_ptr<TfrmUpdate> form;
};

} // namespace oru::test
