// The update driver's decisions, kept apart from the hidden main form that shows
// its messages: reading the command line, finding the product's executable,
// examining the package beside the program, unpacking the engine archive and
// test-opening the update archive. The form owns one driver for its lifetime.
#pragma once

#include "install/ProductCatalogue.h"

#include <optional>
#include <string>
#include <vector>

namespace oru {

class TUpdateDriver {
  public:
    // updateDir: the running program's folder with a trailing delimiter.
    explicit TUpdateDriver(std::string updateDir);
    // Deletes every file unpacked from the engine archive, whatever the outcome.
    ~TUpdateDriver();
    TUpdateDriver(const TUpdateDriver&) = delete;
    TUpdateDriver& operator=(const TUpdateDriver&) = delete;

    // Reads the arguments after the program name into InstallDir, NetworkInstall
    // and ProductKind. Returns the box text (OK button only) when the product
    // number is not an integer; the start must then stop.
    std::optional<std::string> ReadCommandLine(const std::vector<std::string>& params);
    // Makes ProductKind the catalogue's current product.
    void SelectProduct();
    // Examines the installation and the package. Returns the error box text of
    // the first problem (the start must then stop), or nothing when the update
    // can go ahead. Errors while unpacking the engine archive propagate.
    std::optional<std::string> CheckPackage();

    enum class TRun { None, Archive, Patch, ArchiveAndPatch };
    // The run the version file asks for.
    TRun ChosenRun() const;

    const std::string& UpdateDir() const { return updateDir_; }

    std::string InstallDir;
    bool ExeFound = false;
    std::string UpdateArchivePath;
    bool UpdateArchiveExists = false;
    bool UpdateArchiveMissing = false;
    bool UpdateWanted = false;
    std::string PatchArchivePath;
    bool PatchArchiveExists = false;
    bool PatchArchiveMissing = false;
    bool PatchWanted = false;
    bool PatchDllMissing = false;
    bool VersionFileExists = false;
    std::string Version;
    // Absent unless the engine archive was unpacked.
    std::optional<std::vector<std::string>> ExtractedFiles;
    bool LocalPatchDll = false;
    bool IsLEEdition = false;
    bool NetworkInstall = false;
    std::string ExtraMessage;
    TProductKind ProductKind = 0;

  private:
    void DeleteExtractedFiles() noexcept;

    std::string updateDir_;
};

} // namespace oru
