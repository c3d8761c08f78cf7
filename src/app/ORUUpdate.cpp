// The program entry of ORUUpdate.exe.
#include <windows.h>

#include "app/ExitStatus.h"
#include "app/UpdateConfirm.h"
#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "platform/SoftRegDefaults.h"
#include "platform/SysUtils.h"
#include "ui/Application.h"

namespace {

int RunProgram() {
    using namespace oru;
    TApplication& app = Application();
    app.SetTitle("ORU Update");
    app.SetShowMainForm(false);

    // The catalogue is platform-neutral; the application title reaches it from here.
    SetApplicationTitleProvider([] { return Application().Title(); });
    // The folder getters search the registry and the disk, and may ask the user.
    UseWindowsInstallationFinder();
    // Settings stores made without arguments read below the current product's key.
    SetSoftRegDefaults([] { return CompanyName(); }, [] { return RegistryProductName(); });

    int status = ExitCompleted;
    try {
        app.CreateForm<TfrmConfirmUpdate>();
    } catch (const std::exception& e) {
        // The silent abort stays silent; anything else is shown before the end.
        app.HandleException(e);
        status = ExitStartAbandoned;
    } catch (...) {
        status = ExitStartAbandoned;
    }
    if (status == ExitCompleted) {
        try {
            app.Run();
        } catch (const std::exception& e) {
            app.HandleException(e);
            status = ExitUnexpectedError;
        } catch (...) {
            status = ExitUnexpectedError;
        }
    }
    app.DestroyForms();
    ResetProductCatalogue();
    return status;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram();
}
