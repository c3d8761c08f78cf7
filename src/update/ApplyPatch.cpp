// The patch step of a run: tells History where the patch goes and which engine
// library is used, then has the engine apply the patch file. The engine reports
// back through WMRTPatch while it runs.
#include <windows.h>

#include "update/Update.h"

#include "install/ProductCatalogue.h"
#include "platform/Files.h"
#include "update/RTPatch.h"
#include "update/RTPatchCommandLine.h"

#include <memory>

namespace oru {

void TfrmUpdate::ApplyPatch() {
    pbFile->Show();
    pbPatch->Show();
    lbFile->Show();
    lbPatch->Show();

    const std::string windowsFolder = GetWindowsFolder(false);
    const std::string systemFolder = GetSystemFolder();
    const TRTPatchCommandLine commandLine =
        BuildRTPatchCommandLine(InstallDir, PatchArchivePath, windowsFolder);
    const std::string name = ProductDisplayName();

    AddHistory(BlankLine);
    AddHistory(name + " installation folder: " + InstallDir);
    AddHistory(BlankLine);
    AddHistory("Windows folder: " + windowsFolder);
    AddHistory("System folder: " + systemFolder);
    AddHistory(BlankLine);
    AddHistory(name + " patch file: " + PatchArchivePath + " [" + commandLine.DriveSwitch + "]");
    AddHistory(BlankLine);

    // The local engine is loaded by its plain name, which finds the copy the driver
    // unpacked beside this program before any other.
    std::string library;
    if (LocalPatchDll) {
        AddHistory("Patch DLL: Local");
    } else {
        library = systemFolder + "patchw32.dll";
        AddHistory("Patch DLL: " + library);
    }

    // Creating the binding runs the engine to its end.
    auto patch = std::make_unique<TRTPatch>(Handle(), library, commandLine.Text);
    AddHistory(BlankLine);
    patch.reset();
}

} // namespace oru
