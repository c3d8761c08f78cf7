// The real update window for the run-step and window tests, made for the Parcelon
// product, with the county table's folder query pointed where the test says, and a
// recorder that answers every dialog.
#pragma once

#include <windows.h>

#include "install/CountiesTable.h"
#include "install/ProductCatalogue.h"
#include "ui/Application.h"
#include "ui/ModalHook.h"
#include "update/Update.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace oru::test {

using Lines = std::vector<std::string>;

struct TUpdateFormArgs {
    bool IsLEEdition = false;
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
        ResetProductCatalogue();
        SetProductKind(1);
        SetPresortTablesFolderQuery([this] { return presortFolder; });
    }
    void TearDown() override {
        form.reset();
        SetPresortTablesFolderQuery(nullptr);
        ResetProductCatalogue();
        ClearCountiesTables();
    }

    template <typename Form = TfrmUpdate> Form& MakeForm(const TUpdateFormArgs& a = {}) {
        form.reset(); // one window at a time: the engine's replies go to the latest
        auto made =
            std::make_unique<Form>(nullptr, a.IsLEEdition, false, a.InstallDir, a.UpdateArchivePath,
                                   a.PatchArchivePath, a.Version, a.LocalPatchDll, a.ExtraMessage);
        Form& result = *made;
        form = std::move(made);
        return result;
    }
    const Lines& History() const { return form->History->Lines().Items(); }
    // The boxes shown, "error: " or "info: " and the text.
    Lines Boxes() const {
        Lines boxes;
        for (const TMessageDlgRequest& m : dialogs.Messages)
            boxes.push_back((m.Type == TMsgDlgType::mtError ? "error: " : "info: ") + m.Text);
        return boxes;
    }

    TModalRecorder dialogs;
    std::unique_ptr<TfrmUpdate> form;
    std::string presortFolder;
};

} // namespace oru::test
