// The hidden main form. Its construction is the whole start of an update: it
// drives the checks, reports the first problem and stops with the silent abort,
// or opens the update window and runs the update the package asks for.
#pragma once

#include <windows.h>

#include "app/UpdateDriver.h"
#include "ui/Form.h"
#include "ui/MessageDlg.h"
#include "update/Update.h"

#include <memory>
#include <string>
#include <vector>

namespace oru {

struct TConfirmUpdateArgs {
    // The arguments after the program name.
    std::vector<std::string> Params;
    // The package's folder, with a trailing delimiter.
    std::string UpdateDir;
    // How long the update window stands before the run starts.
    DWORD PauseMilliseconds = 2500;
};

class TfrmConfirmUpdate : public TForm {
  public:
    static constexpr int ConfirmHelpContext = 1014;

    // Reads the process's own command line; the package lies beside the program.
    TfrmConfirmUpdate();
    explicit TfrmConfirmUpdate(const TConfirmUpdateArgs& args);
    ~TfrmConfirmUpdate() override;

    // The arguments after the program name, split from the raw command line.
    static std::vector<std::string> ProcessParams();
    // The running program's folder with a trailing delimiter.
    static std::string ProgramUpdateDir();

    const TUpdateDriver& Driver() const { return driver_; }
    TfrmUpdate* UpdateForm() const { return updateForm_.get(); }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    [[noreturn]] static void Stop(const std::string& text, TMsgDlgButtons buttons);
    void RunUpdate(DWORD pauseMilliseconds);

    // Declared before the update window so that the window is released first and
    // the unpacked engine files are deleted after it, also when construction stops.
    TUpdateDriver driver_;
    std::unique_ptr<TfrmUpdate> updateForm_;
};

} // namespace oru
