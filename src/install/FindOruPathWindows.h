// The Windows installation finder: decides from the product's registry values, the
// installation marker files and the folder the program runs from which
// installation (local or shared network) the current product uses, asking the
// user only when nothing else settles it, and derives its data and presort tables
// folders. Windows translation units only.
#pragma once

#include "install/FindOruPath.h"

#include <string>

namespace oru {

class TFindOruPathWindows : public TFindOruPath {
  public:
    // The choose-installation dialog, modal, starting with no choice; 0 when the
    // user cancels.
    uint8_t AskInstallation() override;
    void FindPaths() override;

  private:
    // Data and presort tables folders of an existing InstallPath.
    void DeriveFolders();
};

// A value of HKLM\Software\<company>\<product>\Paths (the key is created when
// missing); empty when the value is missing or not a plain string.
std::string ReadPathsValue(const std::string& product, const std::string& valueName);

// The file the running code was loaded from: inside a library, the library's own
// file with its name spelt as stored on disk; otherwise the program file.
std::string ModuleFileName();

// fileName with its name part replaced by the spelling stored on disk; unchanged
// when it names no file (a folder, or nothing).
std::string StoredFileName(const std::string& fileName);

// A file on a mapped network drive in its \\server\share form; other names
// come back as they are.
std::string UniversalFileName(const std::string& fileName);

// Lets the user pick the product's executable, starting on the desktop; the
// folder of the pick (UNC form, trailing delimiter) or empty when cancelled.
std::string LocateProgram();

// The user's desktop folder, without a trailing delimiter; empty when unknown.
std::string DesktopFolder();

// Makes the catalogue's folder getters drive this finder.
void UseWindowsInstallationFinder();

} // namespace oru
