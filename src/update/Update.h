// The update window: writes the running account of an update into History,
// shows the current file and two meters, runs one of the three run operations and
// turns Cancel into Done at the end. The run steps ExtractArchive and ApplyPatch
// and the engine message handler live in their own files.
#pragma once

#include <windows.h>

#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/Memo.h"
#include "ui/ProgressMeter.h"

#include <cstdint>
#include <string>

namespace oru {

// A window message as the engine's callback delivers it; Result is the reply.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

class TfrmUpdate : public TForm {
public:
    static constexpr int UpdateHelpContext = 254;

    TfrmUpdate(TForm* AOwner, bool IsLEEdition, bool NetworkInstall, const std::string& InstallDir,
               const std::string& UpdateArchivePath, const std::string& PatchArchivePath,
               const std::string& Version, bool LocalPatchDll, const std::string& ExtraMessage);
    ~TfrmUpdate() override;

    // The run operations: each returns when the run has ended and the window is
    // in its Done state; errors end in History, never out of the call (except one
    // raised by the county table reload at the very end).
    void UpdateFromArchive();
    void UpdateFromPatch();
    void UpdateFromArchiveAndPatch();

    // The Done state without a run, for a package that asks for nothing: Done
    // becomes the enabled default button and the window may be closed.
    void EnableDone();

    // Event handlers.
    void FormShow();
    bool FormCloseQuery();
    void FormClose(TCloseAction& action);
    void btnCancelClick();
    void btnHelpClick();

    // The engine's callback messages (WM_USER), and the multi-line History text
    // they carry.
    void WMRTPatch(TMessage& message);
    void AddHistoryText(const char* text);

    // The run steps: extraction of the update archive and the patch step. Virtual
    // so that a run can be exercised with stand-in steps.
    virtual void ExtractArchive();
    virtual void ApplyPatch();

    // One line at the end of History; " " is the blank separator line.
    void AddHistory(const std::string& line);
    static constexpr const char* BlankLine = " ";

    // Components, owned by the form.
    TMemo* History = nullptr;
    TEdit* edCurrentFile = nullptr;
    TLabel* lbFile = nullptr;
    TLabel* lbPatch = nullptr;
    TProgressMeter* pbFile = nullptr;
    TProgressMeter* pbPatch = nullptr;
    TButton* btnCancel = nullptr;
    TButton* btnHelp = nullptr;

    // Window state.
    std::string InstallDir;
    std::string UpdateArchivePath;
    std::string PatchArchivePath;
    std::string Version;
    bool IsLEEdition = false;
    bool NetworkInstall = false;
    bool LocalPatchDll = false;
    std::string ExtraMessage;
    bool IsRtpPatch = false;
    bool IsMcuUpdate = false;
    bool CancelRequested = false;
    bool RestartRequired = false;
    int32_t TotalFiles = 0;
    int32_t FilesDone = 0;
    bool SeparatorWritten = false;

    TForm* Owner() const { return owner_; }

protected:
    void OnShow() override;
    bool CloseQuery() override;
    void OnClose(TCloseAction& action) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    enum class RunKind { Archive, Patch, ArchiveAndPatch };
    void RunFrame(RunKind kind);
    void RunSteps(RunKind kind);
    void SuccessEnding(RunKind kind);
    void ErrorEnding(RunKind kind, const std::exception& e);
    void DeleteOldChecker();

    TForm* owner_;
};

// The extension test of the window: the text after the last "." when no "\"
// follows it, compared ignoring case.
bool HasFileExtension(const std::string& name, const std::string& ext);

} // namespace oru
