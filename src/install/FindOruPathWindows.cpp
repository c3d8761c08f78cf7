#include <shlobj.h>
#include <windows.h>
#include <winnetwk.h>

#include "install/FindOruPathWindows.h"

#include "install/ChooseInstallation.h"
#include "install/ProductCatalogue.h"
#include "platform/FileUtilsX.h"
#include "platform/PathUtilsX.h"
#include "platform/SoftReg.h"
#include "platform/SysUtils.h"
#include "ui/OpenDialog.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace oru {

namespace {

const char* const kPresortTablesFolder = "Presort Tables\\";

// The part after the last "\" or ":".
std::string ExtractFileName(const std::string& fileName) {
    size_t cut = fileName.find_last_of("\\:");
    return cut == std::string::npos ? fileName : fileName.substr(cut + 1);
}

std::string GetModuleFileNameString(HMODULE module) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// The module this code lives in; the program's own when it is linked into it.
HMODULE ThisModule() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&ThisModule), &module))
        return nullptr;
    return module;
}

} // namespace

std::string ReadPathsValue(const std::string& product, const std::string& valueName) {
    TSoftReg store(CompanyName(), product);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    TRegKey paths = store.OpenKey(nullptr, "Paths", true);
    // Without the Paths key a read would fall back to the product key itself.
    std::string value = paths ? store.ReadString(paths.Get(), valueName, "") : std::string();
    TSoftReg::CloseKey(paths);
    store.CloseScopeKey();
    return value;
}

std::string StoredFileName(const std::string& fileName) {
    WIN32_FIND_DATAA data{};
    HANDLE find = ::FindFirstFileA(fileName.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return fileName;
    ::FindClose(find);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return fileName;
    return ExtractFilePath(fileName, true) + data.cFileName;
}

std::string ModuleFileName() {
    HMODULE module = ThisModule();
    if (module != nullptr && module != ::GetModuleHandleA(nullptr))
        return StoredFileName(GetModuleFileNameString(module));
    return GetModuleFileNameString(nullptr);
}

std::string UniversalFileName(const std::string& fileName) {
    if (fileName.empty())
        return fileName;
    // The structure's string points into the same buffer, behind the structure.
    DWORD size = 1024;
    std::vector<char> buffer;
    DWORD status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 2 && status == ERROR_MORE_DATA; ++attempt) {
        buffer.assign(size, 0);
        status = ::WNetGetUniversalNameA(fileName.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(),
                                         &size);
    }
    if (status != NO_ERROR)
        return fileName;
    const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(buffer.data());
    if (info->lpUniversalName == nullptr || *info->lpUniversalName == '\0')
        return fileName;
    return info->lpUniversalName;
}

uint8_t TFindOruPathWindows::AskInstallation() {
    return ChooseInstallation(0);
}

std::string DesktopFolder() {
    LPITEMIDLIST idList = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &idList)) || idList == nullptr)
        return {};
    char path[MAX_PATH] = {};
    const bool ok = ::SHGetPathFromIDListA(idList, path) != FALSE;
    ::CoTaskMemFree(idList);
    return ok ? std::string(path) : std::string();
}

std::string LocateProgram() {
    try {
        const std::string exe = ProductExecutableName();
        TOpenDialog dialog;
        dialog.Title = Format("Locate %s", exe.c_str());
        dialog.DefaultExt = "exe";
        dialog.FileName = exe;
        dialog.Filter = Format("%s program|%s", exe.c_str(), exe.c_str());
        dialog.FilterIndex = 1;
        dialog.Options = ofHideReadOnly | ofNoChangeDir | ofPathMustExist | ofFileMustExist;
        dialog.InitialDir = DesktopFolder();
        if (!dialog.Execute())
            return {};
        return ExtractFilePath(UniversalFileName(dialog.FileName), true);
    } catch (const std::exception&) {
        // The finder reports nothing; a dialog that fails is a pick not made.
        return {};
    }
}

void TFindOruPathWindows::FindPaths() {
    if (InstallKind != 0)
        IsNetwork = InstallKind == 2;

    // A folder found earlier in this run: derive what is missing and ask nothing.
    if (!InstallPath.empty()) {
        if (DirectoryExists(InstallPath)) {
            // The catalogue's current answer, not the field: the product may have
            // been switched since this finder was set up.
            if (DataPath.empty())
                DataPath = InstallPath + oru::DataFolderName();
            if (PresortPath.empty())
                PresortPath = InstallPath + kPresortTablesFolder;
        }
        return;
    }

    auto readFolder = [this](const char* valueName) {
        return IncludeTrailingDelimiter(ReadPathsValue(RegistryProductName, valueName), true);
    };
    const std::string mainDir = readFolder("ORU_PATH");
    const std::string networkDir = readFolder("ORU_NETWORK_PATH");
    const std::string clientDir = readFolder("ORU_CLIENT_PATH");
    const std::string moduleFile = ModuleFileName();
    const std::string moduleDir = ExtractFilePath(moduleFile, true);

    const bool mainExists = DirectoryExists(mainDir);
    const bool networkExists = DirectoryExists(networkDir);
    auto marker = [this](bool baseExists, const std::string& base, const char* name) {
        return baseExists && FileExists(base + DataFolderName + name);
    };
    const bool single = marker(mainExists, mainDir, "ORUSingle");
    const bool server = marker(mainExists, mainDir, "ORUServer");
    const bool local = marker(networkExists, networkDir, "ORULocal");
    const bool client = marker(DirectoryExists(clientDir), clientDir, "ORUClient");

    const std::string moduleName = ExtractFileName(moduleFile);
    const bool runningAsProduct =
        std::any_of(ExecutableNames.begin(), ExecutableNames.end(),
                    [&](const std::string& name) { return SameText(name, moduleName); });

    if (runningAsProduct) {
        // The product itself knows which copy it is; the kind is left for the
        // marker rules of a later search.
        if (SameText(moduleDir, networkDir)) {
            InstallPath = networkDir;
            IsNetwork = true;
        } else {
            InstallPath = mainDir;
        }
        DeriveFolders();
        return;
    }

    if (SameText(moduleDir, networkDir)) {
        InstallPath = networkDir;
        IsNetwork = true;
    } else if (SameText(moduleDir, mainDir)) {
        InstallPath = mainDir;
        IsNetwork = server;
    } else if (server) {
        InstallPath = mainDir;
        IsNetwork = true;
    } else if (local || client) {
        // A client works on the shared copy, not on its own client folder.
        InstallPath = networkDir;
        IsNetwork = true;
    } else if (networkExists && !mainExists) {
        InstallPath = networkDir;
        IsNetwork = true;
    } else if (mainExists && !networkExists) {
        InstallPath = mainDir;
    } else if (single) {
        InstallPath = mainDir;
    } else if (mainExists && networkExists) {
        switch (AskInstallation()) {
        case 0:
            InstallPath.clear();
            break;
        case 1:
            InstallPath = mainDir;
            break;
        case 2:
            InstallPath = networkDir;
            IsNetwork = true;
            break;
        default:
            break;
        }
    } else {
        InstallPath = LocateProgram();
    }

    DeriveFolders();
    if (DirectoryExists(InstallPath))
        InstallKind = IsNetwork ? 2 : 1;
}

void TFindOruPathWindows::DeriveFolders() {
    if (!DirectoryExists(InstallPath))
        return;
    DataPath = InstallPath + DataFolderName;
    PresortPath = InstallPath + kPresortTablesFolder;
    if (IsNetwork)
        return;
    // A local installation may keep its data and tables elsewhere.
    const std::string dataDir =
        IncludeTrailingDelimiter(ReadPathsValue(RegistryProductName, "ORU_DATA_PATH"), true);
    if (DirectoryExists(dataDir))
        DataPath = dataDir;
    const std::string presortDir =
        IncludeTrailingDelimiter(ReadPathsValue(RegistryProductName, "ORU_Presort_Path"), true);
    if (DirectoryExists(presortDir))
        PresortPath = presortDir;
}

void UseWindowsInstallationFinder() {
    SetFindOruPathFactory([] { return std::make_unique<TFindOruPathWindows>(); });
}

} // namespace oru
