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
std::string PackageTool();
std::string EngineLibrary();

// One case's folders: update, installation (holding parcelon.exe) and a source
// folder for the manifest and the files it names.
class TUpdateLayout {
  public:
    explicit TUpdateLayout(const std::string& tag);

    const std::string& UpdateDir() const { return updateDir_; }
    const std::string& InstallDir() const { return installDir_; }
    const std::string& SourceDir() const { return sourceDir_; }
    std::string Root() const { return root_.Dir(); }

    void Install(const std::string& relative, const std::string& bytes);
    // The installed file's bytes, "<missing>" when there is none.
    std::string Installed(const std::string& relative) const;
    void Source(const std::string& relative, const std::string& bytes);
    void PackageFile(const std::string& name, const std::string& bytes);

    // Writes the manifest into the source folder and has the package tool build the
    // package into the update folder; throws with the tool's output when it fails.
    void BuildPackage(const std::string& manifest);

    // Every file outside the update folder with its content, keyed by its path
    // below the root with "/" separators ("Apps/Parcelon/parcelon.exe").
    std::map<std::string, std::string> FilesOutsideUpdateDir() const;

  private:
    TScratch root_;
    std::string updateDir_;
    std::string installDir_;
    std::string sourceDir_;
};

struct TRunOptions {
    // After the program path; empty: the installation folder, "-NV N -P 1".
    std::string Arguments;
    // Press Cancel as soon as the window enables it.
    bool PressCancel = false;
    // The button to press in each message box (by plain caption); "OK" by default.
    std::string BoxAnswer = "OK";
    DWORD TimeoutMs = 60000;
    // Polled every millisecond; when it answers true the process is killed there.
    std::function<bool()> KillWhen;
};

struct TRunOutcome {
    bool Ended = false;
    DWORD ExitCode = 0;
    std::string WindowTitle; // empty when no update window appeared
    std::vector<std::string> History;
    std::vector<TWindowInfo> Boxes; // message boxes, in the order they were shown
    // Open-file dialogs (the installation finder's locate dialog), cancelled.
    std::vector<std::string> FileDialogs;
    bool CancelPressed = false;
    bool DoneOffered = false;
    bool Killed = false;

    std::vector<std::string> BoxTexts() const;
    // The History lines after the banner (which ends with the "Update to/as of" line).
    std::vector<std::string> RunLines() const;
};

TRunOutcome RunUpdate(const TUpdateLayout& layout, const TRunOptions& options = {});

// The update window of the process (its first visible window that is no dialog).
HWND FindUpdateWindow(DWORD pid);
// The lines of the window's History memo.
inline std::vector<std::string> ReadHistory(HWND window) { return ReadMemoLines(window); }

} // namespace oru::test
