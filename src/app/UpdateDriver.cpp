#include "app/UpdateDriver.h"

#include "app/CommandLine.h"
#include "app/VersionFile.h"
#include "archive/PkwareZip.h"
#include "platform/FileUtilsX.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"

namespace oru {

namespace {

const char* const kUpdateArchiveName = "ORU.mcu";
const char* const kPatchArchiveName = "ORU.rtp";
const char* const kVersionFileName = "ORU.VER";
const char* const kPatchDllName = "PATCHW32.DLL";

std::string ErrorText(const std::exception& e) {
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return e.what();
}

std::string WithProductName(const char* format) {
    return Format(format, ProductDisplayName().c_str());
}

} // namespace

TUpdateDriver::TUpdateDriver(std::string updateDir) : updateDir_(std::move(updateDir)) {}

TUpdateDriver::~TUpdateDriver() {
    DeleteExtractedFiles();
}

void TUpdateDriver::DeleteExtractedFiles() noexcept {
    if (!ExtractedFiles)
        return;
    for (const auto& file : *ExtractedFiles) {
        try {
            DeleteFile(file);
        } catch (...) {
            // A file that cannot be deleted is left behind; the others still go.
        }
    }
    ExtractedFiles.reset();
}

std::optional<std::string> TUpdateDriver::ReadCommandLine(const std::vector<std::string>& params) {
    const TCommandLineArgs args = oru::ReadCommandLine(params);
    InstallDir = args.InstallDir;
    NetworkInstall = args.NetworkInstall;
    ProductKind = args.ProductKind;
    if (args.ProductNumberInvalid)
        return InvalidProductNumberMessage(args.ProductArgument);
    return std::nullopt;
}

void TUpdateDriver::SelectProduct() {
    SetProductKind(ProductKind);
    IsLEEdition = ProductKind == 2;
}

std::optional<std::string> TUpdateDriver::CheckPackage() {
    DeleteExtractedFiles();

    const std::string exeName = ProductExecutableName();
    ExeFound = !exeName.empty() && FileExists(InstallDir + exeName);

    UpdateArchivePath = updateDir_ + kUpdateArchiveName;
    UpdateArchiveExists = FileExists(UpdateArchivePath);
    PatchArchivePath = updateDir_ + kPatchArchiveName;
    PatchArchiveExists = FileExists(PatchArchivePath);
    const std::string versionFile = updateDir_ + kVersionFileName;
    VersionFileExists = FileExists(versionFile);

    PatchWanted = false;
    UpdateWanted = false;
    PatchArchiveMissing = false;
    UpdateArchiveMissing = false;
    LocalPatchDll = false;
    Version.clear();
    ExtraMessage.clear();

    if (VersionFileExists && ExeFound) {
        const TVersionFileInfo info =
            ReadVersionFile(versionFile, {IsLEEdition, UpdateArchiveExists, PatchArchiveExists});
        Version = info.Version;
        UpdateWanted = info.UpdateWanted;
        PatchWanted = info.PatchWanted;
        UpdateArchiveMissing = info.UpdateArchiveMissing;
        PatchArchiveMissing = info.PatchArchiveMissing;
        ExtraMessage = info.ExtraMessage;
    }

    PatchDllMissing = false;
    const std::string engineArchive = updateDir_ + ForceExtension(kPatchDllName, "mzp");
    if (FileExists(engineArchive) && PatchWanted && ExeFound) {
        ExtractedFiles.emplace();
        ExtractZipFile(engineArchive, *ExtractedFiles, updateDir_);
        PatchDllMissing = !FileExists(updateDir_ + kPatchDllName);
        LocalPatchDll = !PatchDllMissing;
    }

    if (ExeFound && UpdateWanted && !UpdateArchiveMissing) {
        try {
            TPkwareZip archive;
            archive.SetFileName(UpdateArchivePath);
            archive.Open();
        } catch (const std::exception& e) {
            return WithProductName("The %s update archive is corrupt\r\r") + ErrorText(e);
        }
    }

    if (!ExeFound)
        return WithProductName(
            "The %s executable was not located.\rThe update could not be performed.");
    if (!VersionFileExists)
        return WithProductName("%s update archive is missing configuration file.");
    if (UpdateArchiveMissing)
        return WithProductName("The %s update archive is missing");
    if (PatchArchiveMissing)
        return WithProductName("The %s patch archive is missing");
    if (PatchDllMissing)
        return std::string("The RTPatchW32 DLL is missing.");
    return std::nullopt;
}

TUpdateDriver::TRun TUpdateDriver::ChosenRun() const {
    if (UpdateWanted && PatchWanted)
        return TRun::ArchiveAndPatch;
    if (UpdateWanted)
        return TRun::Archive;
    if (PatchWanted)
        return TRun::Patch;
    return TRun::None;
}

} // namespace oru
