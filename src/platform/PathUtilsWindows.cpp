#include <shlobj.h>
#include <windows.h>

#include "platform/PathUtilsWindows.h"

#include "platform/SysUtils.h"
#include "platform/WinHandles.h"

namespace oru {

namespace {

int32_t ShellFolder(int csidl, std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    HRESULT hr = ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    path = SUCCEEDED(hr) ? std::string(buffer) : std::string();
    return static_cast<int32_t>(hr);
}

// "C:" for a drive-lettered path, "\\server\share" for a network one, else empty.
std::string DrivePart(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    if (path.rfind("\\\\", 0) == 0) {
        size_t server = path.find('\\', 2);
        if (server == std::string::npos)
            return path;
        size_t share = path.find('\\', server + 1);
        return share == std::string::npos ? path : path.substr(0, share);
    }
    return {};
}

} // namespace

TPathUtils& PathUtils() {
    static TPathUtilsWindows instance;
    return instance;
}

int32_t TPathUtilsWindows::GetCommonAppDataFolder(std::string& path) {
    return ShellFolder(CSIDL_COMMON_APPDATA, path);
}

int32_t TPathUtilsWindows::GetLocalAppDataFolder(std::string& path) {
    return ShellFolder(CSIDL_LOCAL_APPDATA, path);
}

std::string TPathUtilsWindows::GetUserProfileFolder() {
    return ReadSizedText(
        [](char* buffer, uint32_t room) {
            return static_cast<uint32_t>(::GetEnvironmentVariableA("USERPROFILE", buffer, room));
        },
        MAX_PATH + 1);
}

std::string TPathUtilsWindows::LongPathName(const std::string& path) {
    if (path.empty())
        return path;
    std::string p = path;
    if (p.back() == '\\')
        p.pop_back();
    if (p == DrivePart(p) || ExtractFilePath(p, true) == p)
        return path;
    // A wildcard would make the lookup answer for some other entry.
    if (p.find_first_of("*?") != std::string::npos)
        return path;
    WIN32_FIND_DATAA data;
    TFindHandle find(::FindFirstFileA(p.c_str(), &data));
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return path;
    return PathUtils().LongPathName(ExtractFilePath(p, true)) + data.cFileName + "\\";
}

std::string TPathUtilsWindows::GetTempFolder() {
    std::string temp = ReadSizedText(
        [](char* buffer, uint32_t room) {
            return static_cast<uint32_t>(::GetTempPathA(room, buffer));
        },
        MAX_PATH + 1);
    if (temp.empty())
        return temp;
    return IncludeTrailingDelimiter(PathUtils().LongPathName(temp), true);
}

} // namespace oru
