#include "platform/FileUtilsPosix.h"

#include "platform/PathUtilsX.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace oru {

namespace {

// 100-nanosecond intervals between 1 January 1601 and 1 January 1970.
constexpr uint64_t UnixEpochAsFileTime = 116444736000000000ULL;

uint64_t ToFileTime(const timespec& ts) {
    if (ts.tv_sec < 0)
        return 0;
    return UnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

TDateTime LocalTimeOf(const timespec& ts) {
    TDateTime value = 0;
    if (!FileUtils().FileTimeToLocalDateTime(ToFileTime(ts), value))
        value = 0;
    return value;
}

} // namespace

std::string SystemPath(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    return p;
}

TFileDescriptor& TFileDescriptor::operator=(TFileDescriptor&& other) noexcept {
    if (this != &other)
        Reset(other.Release());
    return *this;
}

bool TFileDescriptor::Reset(int fd) {
    bool ok = true;
    if (fd_ >= 0)
        ok = ::close(fd_) == 0;
    fd_ = fd;
    return ok;
}

TFileUtils& PlatformFileUtils() {
    static TFileUtilsPosix instance;
    return instance;
}

bool TFileUtilsPosix::CreateDirectory(const std::string& path) {
    return ::mkdir(SystemPath(path).c_str(), 0777) == 0;
}

bool TFileUtilsPosix::DirectoryExists(const std::string& path) {
    struct stat st;
    return ::stat(SystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TFileUtilsPosix::CreateTempFile(std::string folder, std::string prefix) {
    FileUtils().GetTempLocation(folder, prefix);
    // Like the Windows call: at most three characters of the prefix, then a unique part.
    std::string name = IncludeTrailingDelimiter(folder) + prefix.substr(0, 3) + "XXXXXX.tmp";
    std::string path = SystemPath(name);
    TFileDescriptor fd(::mkstemps(path.data(), 4));
    if (!fd.Valid()) {
        int code = errno;
        throw EOSError(
            AppendSystemError(
                Format("Cannot create a temporary file or folder in '%s'", folder.c_str()), code),
            static_cast<uint32_t>(code));
    }
    // The system path has the same length, so the unique part sits at the same place.
    name.replace(name.size() - 10, 6, path, path.size() - 10, 6);
    return name;
}

void TFileUtilsPosix::RaiseError(FileErrorKind kind, const std::string& message) {
    int32_t code = errno;
    ThrowFileError(kind, AppendSystemError(message, code), code);
}

void TFileUtilsPosix::GetFileTimes(const std::string& fileName, TFileTimes& times) {
    times = TFileTimes{};
    struct stat st;
    if (::stat(SystemPath(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return;
    // The creation time is not available through stat.
    times.LastAccessed = LocalTimeOf(st.st_atim);
    times.LastWritten = LocalTimeOf(st.st_mtim);
}

bool TFileUtilsPosix::FileTimeToDateTime(uint64_t fileTime, TDateTime& dateTime, bool local) {
    if (fileTime < UnixEpochAsFileTime)
        return false;
    uint64_t since1970 = fileTime - UnixEpochAsFileTime;
    time_t seconds = static_cast<time_t>(since1970 / 10000000ULL);
    struct tm parts;
    if ((local ? ::localtime_r(&seconds, &parts) : ::gmtime_r(&seconds, &parts)) == nullptr)
        return false;
    TSystemTime fields;
    fields.Year = static_cast<uint16_t>(parts.tm_year + 1900);
    fields.Month = static_cast<uint16_t>(parts.tm_mon + 1);
    fields.Day = static_cast<uint16_t>(parts.tm_mday);
    fields.Hour = static_cast<uint16_t>(parts.tm_hour);
    fields.Minute = static_cast<uint16_t>(parts.tm_min);
    fields.Second = static_cast<uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    fields.Milliseconds = static_cast<uint16_t>(since1970 / 10000ULL % 1000);
    return TryEncodeDateTime(fields, dateTime);
}

std::string SystemErrorMessage(int32_t code) {
    int saved = errno;
    std::string text;
    if (code == ErrorCodeFail) {
        text = "Unspecified error";
    } else {
        text = std::generic_category().message(code);
        if (text.rfind("Unknown error", 0) == 0)
            text.clear();
    }
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    errno = saved;
    return text;
}

int32_t GetLastOsError() {
    return errno;
}
void SetLastOsError(int32_t code) {
    errno = code;
}

std::string ProgramFileName() {
    std::string name(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", name.data(), name.size());
    if (n <= 0)
        return {};
    name.resize(static_cast<size_t>(n));
    return name;
}

bool FileExists(const std::string& fileName) {
    struct stat st;
    return ::stat(SystemPath(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& fileName) {
    return ::unlink(SystemPath(fileName).c_str()) == 0;
}

int32_t FileGetAttr(const std::string& fileName) {
    struct stat st;
    if (::stat(SystemPath(fileName).c_str(), &st) != 0)
        return -1;
    int32_t attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    return attr;
}

bool FileSetAttr(const std::string& fileName, int32_t attributes) {
    std::string path = SystemPath(fileName);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & faReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return ::chmod(path.c_str(), mode) == 0;
}

bool RenameFileReplace(const std::string& from, const std::string& to) {
    return ::rename(SystemPath(from).c_str(), SystemPath(to).c_str()) == 0;
}

bool RemoveDir(const std::string& path) {
    return ::rmdir(SystemPath(path).c_str()) == 0;
}

} // namespace oru
