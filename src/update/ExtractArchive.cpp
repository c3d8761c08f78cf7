// The extraction step of a run: every member of the update archive names its
// target folder by a placeholder and the editions it is meant for in its local
// extra text ("<INSTALLDIR>;1"). Members are put in place in archive order, each
// step reported in History; members for the optional EWS data set never stop the
// update.
#include <windows.h>

#include "update/Update.h"

#include "archive/PkwareZip.h"
#include "install/ConfigLookup.h"
#include "install/ProductCatalogue.h"
#include "platform/FileUtilsX.h"
#include "platform/Files.h"
#include "platform/PathUtilsX.h"
#include "platform/StStrL.h"
#include "platform/SysUtils.h"

#include <cctype>
#include <cstring>
#include <set>

namespace oru {

namespace {

constexpr uint8_t kEditionNotLE = 0;
constexpr uint8_t kEditionLEOnly = 2;

// The system's temporary folder exactly as reported (no long-name conversion),
// with a trailing delimiter; empty when the system gives nothing.
std::string TempFolder() {
    DWORD needed = GetTempPathA(0, nullptr);
    if (needed == 0)
        return {};
    std::string folder(needed, '\0');
    DWORD length = GetTempPathA(needed, folder.data());
    if (length == 0 || length >= needed)
        return {};
    folder.resize(length);
    return IncludeTrailingDelimiter(folder, true);
}

// Whether the system would let the file be deleted now: neither its security nor
// another program's open handle stands in the way. Asked instead of deleting,
// because the archive reader replaces a target only by a complete new file, so a
// member that fails leaves the old one in place.
bool CanDeleteFile(const std::string& fileName) {
    HANDLE h = CreateFileA(fileName.c_str(), DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

bool MemberWanted(int32_t editionKind, bool isLEEdition) {
    switch (static_cast<uint8_t>(editionKind & 0xFF)) {
    case kEditionNotLE:
        return !isLEEdition;
    case kEditionLEOnly:
        return isLEEdition;
    default:
        return true;
    }
}

void ClearReadOnly(const std::string& fileName) {
    int32_t attributes = FileGetAttr(fileName);
    if (attributes != -1 && (attributes & faReadOnly))
        FileSetAttr(fileName, attributes & ~faReadOnly);
}

// What a run killed while writing a member leaves beside its target: a name the
// archive reader makes and nothing else uses ("~oru" + 8 hex digits + ".tmp").
bool IsLeftTemporary(const char* name) {
    if (std::strlen(name) != 16 || _strnicmp(name, "~oru", 4) != 0 || _stricmp(name + 12, ".tmp") != 0)
        return false;
    for (int i = 4; i < 12; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

void RemoveLeftTemporaries(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "~oru*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsLeftTemporary(data.cFileName))
            DeleteFileA((folder + data.cFileName).c_str()); // one still held is left for later
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

} // namespace

void TfrmUpdate::ExtractArchive() {
    std::set<std::string> swept;
    TPkwareZip zip;
    zip.SetFileName(UpdateArchivePath);
    const int32_t count = zip.Count();
    for (int32_t i = 0; i < count; ++i) {
        TPkwareZipItem& item = zip.Items()[i];
        const std::string placeholder = ExtractWord(1, item.Extra(), ";");
        if (!MemberWanted(StrToInt(ExtractWord(2, item.Extra(), ";")), IsLEEdition))
            continue;

        const bool ews = placeholder == "<EWSDIR>";
        std::string folder;
        if (placeholder == "<INSTALLDIR>") {
            folder = InstallDir;
        } else if (placeholder == "<WINDIR>") {
            folder = GetWindowsFolder(false);
        } else if (placeholder == "<WINSYSDIR>") {
            folder = GetSystemFolder();
        } else if (placeholder == "<TEMP>") {
            folder = TempFolder();
        } else if (ews) {
            const std::string value =
                ConfigValue(true, NetworkInstall, RegistryProductName(), "", "EWS");
            // Used as stored: a value without its delimiter shows in the messages
            // joined directly to the member name, while the archive reader still
            // puts the file inside the folder.
            folder = value;
            if (!DirectoryExists(folder)) {
                if (Trim(value).empty())
                    AddHistory("EWS file has not been installed yet - " + folder + item.Name());
                else
                    AddHistory("EWS file is not available - " + folder + item.Name());
                continue;
            }
        }
        const std::string target = folder + item.Name();
        edCurrentFile->SetText("Extracting - " + target);

        try {
            // A member without a known folder would land in the root of whatever
            // drive is current, and one whose name climbs out of its folder could
            // land anywhere: both are refused rather than written.
            if (folder.empty())
                throw EPkwareZipError(Format("The member '%s' names no known target folder ('%s')",
                                             item.Name().c_str(), placeholder.c_str()));
            if (HasDrivePart(item.Name()) || NameLeavesFolder(item.Name()))
                throw EPkwareZipError(Format("The member name '%s' leaves its target folder",
                                             item.Name().c_str()));

            try {
                const std::string targetFolder = ExtractFilePath(target, true);
                if (!targetFolder.empty())
                    ForceDirectories(targetFolder);
            } catch (const std::exception&) {
                // A folder that cannot be made shows as the member's own failure.
            }
            if (const std::string here = ExtractFilePath(target, true); swept.insert(UpperCase(here)).second)
                RemoveLeftTemporaries(here);
            ClearReadOnly(target);
            if (FileExists(target) && !CanDeleteFile(target))
                AddHistory("Error deleting - " + target);

            TPkwareZipExtractInfo info;
            info.DestDir = folder;
            item.Extract(&info);
        } catch (const std::exception&) {
            if (!ews)
                throw;
            AddHistory("File not copied - " + target);
            continue;
        }
        AddHistory("Extracted - " + target);
    }
    edCurrentFile->SetText("");
}

} // namespace oru
