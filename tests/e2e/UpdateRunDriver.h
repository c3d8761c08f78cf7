// Runs ORUUpdate.exe the way a user meets it: an update folder holding the program
// and a package, an installation folder holding the product, a real command line;
// every message box is read and answered, the History memo read from the window,
// and Done (or Cancel) pressed like a person would.
#pragma once

#include <windows.h>

#include "support/Files.h"
#include "support/ProcessDriver.h"
#include "support/Scratch.h"
#include "support/SystemFolders.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace oru::test {

// The programs the build provides, as Windows paths.
std::string UpdateProgram();
std::string EngineLibrary();

// One case's folders: update, installation (holding parcelon.exe) and a source
// folder for the manifest and the files it names.
class TUpdateLayout {
  public:
    explicit TUpdateLayout(const std::string& tag);

    const std::string& UpdateDir() const { return updateDir_; }
    const std::string& InstallDir() const { return installDir_; }
    std::string Root() const { return root_.Dir(); }

    void Install(const std::string& relative, const std::string& bytes) const {
        WriteWholeFile(installDir_ + relative, bytes);
    }
    // The installed file's bytes, "<missing>" when there is none.
    std::string Installed(const std::string& relative) const;
    void Source(const std::string& relative, const std::string& bytes) const {
        WriteWholeFile(sourceDir_ + relative, bytes);
    }
    void PackageFile(const std::string& name, const std::string& bytes) const {
        WriteWholeFile(updateDir_ + name, bytes);
    }
    // Writes the manifest into the source folder and has the package tool build the
    // package into the update folder; throws with the tool's output when it fails.
    void BuildPackage(const std::string& manifest) const;
    // Every file outside the update folder with its content, keyed by its path
    // below the root with "/" separators ("Apps/Parcelon/parcelon.exe").
    std::map<std::string, std::string> FilesOutsideUpdateDir() const;

  private:
    TScratch root_;
    std::string updateDir_, installDir_, sourceDir_;
};

struct TRunOptions {
    // Press Cancel as soon as the window enables it.
    bool PressCancel = false;
    // Polled every millisecond; when it answers true the process is killed there.
    std::function<bool()> KillWhen;
};

struct TRunOutcome {
    bool Ended = false;
    DWORD ExitCode = 0;
    bool WindowShown = false;
    std::vector<std::string> History; // read when Done was offered
    std::vector<TWindowInfo> Boxes;   // message boxes, in the order they were shown
    bool CancelPressed = false;
    bool Killed = false;

    std::vector<std::string> BoxTexts() const;
    // The History lines after the banner (which ends with the "Update to/as of" line).
    std::vector<std::string> RunLines() const;
};

// Runs with the installation folder and "-NV N -P 1" as the command line.
TRunOutcome RunUpdate(const TUpdateLayout& layout, const TRunOptions& options = {});

} // namespace oru::test
