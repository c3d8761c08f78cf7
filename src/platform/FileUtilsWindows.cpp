#include <windows.h>

#include "platform/FileUtilsWindows.h"

#include "platform/PathUtilsX.h"
#include "platform/WinHandles.h"

namespace oru {

namespace {

std::string FormatMessageText(DWORD source, HMODULE module, DWORD code) {
    char* raw = nullptr;
    DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source, module, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&raw), 0, nullptr);
    TLocalMemory owned(raw);
    return n && raw ? std::string(raw, n) : std::string();
}

uint64_t ToUInt64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TDateTime LocalTimeOf(const FILETIME& ft) {
    TDateTime value = 0;
    if (!FileUtils().FileTimeToLocalDateTime(ToUInt64(ft), value))
        value = 0;
    return value;
}

} // namespace

TFileUtils& PlatformFileUtils() {
    static TFileUtilsWindows instance;
    return instance;
}

bool TFileUtilsWindows::CreateDirectory(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool TFileUtilsWindows::DirectoryExists(const std::string& path) {
    DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TFileUtilsWindows::CreateTempFile(std::string folder, std::string prefix) {
    FileUtils().GetTempLocation(folder, prefix);
    char name[MAX_PATH + 1] = {};
    if (::GetTempFileNameA(folder.c_str(), prefix.c_str(), 0, name) == 0) {
        DWORD code = ::GetLastError();
        throw EOSError(AppendSystemError(Format("Cannot create a temporary file or folder in '%s'",
                                                folder.c_str()),
                                         static_cast<int32_t>(code)),
                       code);
    }
    DWORD attr = ::GetFileAttributesA(name);
    if (attr != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesA(name, attr | FILE_ATTRIBUTE_HIDDEN);
    return name;
}

void TFileUtilsWindows::RaiseError(FileErrorKind kind, const std::string& message) {
    int32_t code = static_cast<int32_t>(::GetLastError());
    ThrowFileError(kind, AppendSystemError(message, code), code);
}

void TFileUtilsWindows::GetFileTimes(const std::string& fileName, TFileTimes& times) {
    times = TFileTimes{};
    WIN32_FIND_DATAA data;
    TFindHandle find(::FindFirstFileA(fileName.c_str(), &data));
    if (!find)
        return;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return;
    times.Created = LocalTimeOf(data.ftCreationTime);
    times.LastAccessed = LocalTimeOf(data.ftLastAccessTime);
    times.LastWritten = LocalTimeOf(data.ftLastWriteTime);
}

bool TFileUtilsWindows::FileTimeToDateTime(uint64_t fileTime, TDateTime& dateTime, bool local) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    if (local) {
        FILETIME utc = ft;
        if (!::FileTimeToLocalFileTime(&utc, &ft))
            return false;
    }
    SYSTEMTIME st;
    if (!::FileTimeToSystemTime(&ft, &st))
        return false;
    TSystemTime fields;
    fields.Year = st.wYear;
    fields.Month = st.wMonth;
    fields.DayOfWeek = st.wDayOfWeek;
    fields.Day = st.wDay;
    fields.Hour = st.wHour;
    fields.Minute = st.wMinute;
    fields.Second = st.wSecond;
    fields.Milliseconds = st.wMilliseconds;
    return TryEncodeDateTime(fields, dateTime);
}

std::string SystemErrorMessage(int32_t code) {
    DWORD saved = ::GetLastError();
    DWORD id = static_cast<DWORD>(code);
    std::string text = FormatMessageText(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, id);
    if (text.empty() && ::GetLastError() == ERROR_MR_MID_NOT_FOUND) {
        // Network errors have their texts in a module of their own.
        TModuleHandle netmsg(::LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (netmsg)
            text = FormatMessageText(FORMAT_MESSAGE_FROM_HMODULE, netmsg.Get(), id);
    }
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    ::SetLastError(saved);
    return text;
}

int32_t GetLastOsError() {
    return static_cast<int32_t>(::GetLastError());
}
void SetLastOsError(int32_t code) {
    ::SetLastError(static_cast<DWORD>(code));
}

std::string ProgramFileName() {
    std::string name(MAX_PATH, '\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0)
            return {};
        if (n < name.size()) {
            name.resize(n);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

bool FileExists(const std::string& fileName) {
    DWORD attr = ::GetFileAttributesA(fileName.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DeleteFile(const std::string& fileName) {
    return ::DeleteFileA(fileName.c_str()) != 0;
}

int32_t FileGetAttr(const std::string& fileName) {
    DWORD attr = ::GetFileAttributesA(fileName.c_str());
    return attr == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<int32_t>(attr);
}

bool FileSetAttr(const std::string& fileName, int32_t attributes) {
    return ::SetFileAttributesA(fileName.c_str(), static_cast<DWORD>(attributes)) != 0;
}

bool RenameFileReplace(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveDir(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) != 0;
}

} // namespace oru
