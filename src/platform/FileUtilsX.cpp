#include "platform/FileUtilsX.h"

#include "platform/PathUtilsX.h"

namespace oru {

namespace {

TFileUtils* selected = nullptr;

// The temporary folder made for this program on first need; removed again at the
// end when nothing was left in it.
void RemoveCachedFolder(std::string& folder) {
    if (!folder.empty())
        RemoveDir(folder); // succeeds only for an empty folder, which is the intent
    folder.clear();
}

struct TempLocationCache {
    std::string folder;
    ~TempLocationCache() { RemoveCachedFolder(folder); }
};
TempLocationCache& TempCache() {
    static TempLocationCache cache;
    return cache;
}

// Substitutes the file name for every "%s"; nothing else in the text is interpreted,
// so a file name or format cannot make the formatting read arguments that are not there.
std::string FormatWithName(const char* format, const std::string& fileName) {
    std::string out;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += fileName;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

TFileUtils& FileUtils() {
    return selected ? *selected : PlatformFileUtils();
}
void SetFileUtils(TFileUtils* impl) {
    selected = impl;
}

bool TFileUtils::ForceDirectories(const std::string& path) {
    if (path.empty())
        return true;
    std::string dir = path;
    if (IncludeTrailingDelimiter(dir, true) == dir)
        dir.pop_back();
    if (dir.empty() || dir == ExtractFilePath(dir, false) || FileUtils().DirectoryExists(dir))
        return true;
    return FileUtils().ForceDirectories(ExtractFilePath(dir, false)) &&
           FileUtils().CreateDirectory(dir);
}

void TFileUtils::CheckForceDirectories(const std::string& path) {
    if (!FileUtils().ForceDirectories(path))
        FileUtils().RaiseError(FileErrorKind::Generic,
                               FormatWithName("Cannot create the directory '%s'", path));
}

std::string TFileUtils::CreateTempFile(std::string, std::string) {
    return {};
}

void TFileUtils::GetTempLocation(std::string& folder, std::string& prefix) {
    if (folder.empty()) {
        auto& cache = TempCache();
        if (cache.folder.empty())
            cache.folder = IncludeTrailingDelimiter(GetTempFolder() + DefaultTempName());
        folder = cache.folder;
    }
    FileUtils().CheckForceDirectories(folder);
    if (prefix.empty())
        prefix = DefaultTempName();
}

TDateTime TFileUtils::FileModified(const std::string& fileName) {
    TFileTimes times;
    FileUtils().GetFileTimes(fileName, times);
    return times.LastWritten;
}

TDateTime TFileUtils::FileCreated(const std::string& fileName) {
    TFileTimes times;
    FileUtils().GetFileTimes(fileName, times);
    return times.Created;
}

TDateTime TFileUtils::FileAccessed(const std::string& fileName) {
    TFileTimes times;
    FileUtils().GetFileTimes(fileName, times);
    return times.LastAccessed;
}

bool TFileUtils::FileTimeToDateTime(uint64_t, TDateTime&, bool) {
    return false;
}

bool TFileUtils::FileTimeToLocalDateTime(uint64_t fileTime, TDateTime& dateTime) {
    return FileUtils().FileTimeToDateTime(fileTime, dateTime, true);
}

bool ForceDirectories(const std::string& path) {
    return FileUtils().ForceDirectories(path);
}
bool CreateDirectory(const std::string& path) {
    return FileUtils().CreateDirectory(path);
}
bool DirectoryExists(const std::string& path) {
    return FileUtils().DirectoryExists(path);
}
void CheckForceDirectories(const std::string& path) {
    FileUtils().CheckForceDirectories(path);
}

void RaiseFileError(FileErrorKind kind, const std::string& fileName, const char* format) {
    std::string message = FormatWithName(format, fileName);
    FileUtils().RaiseError(kind, message);
    // Only a replacement implementation that breaks its promise gets here.
    throw EFileError(message, GetLastOsError());
}
void RaiseOpenError(const std::string& fileName) {
    RaiseFileError(FileErrorKind::Open, fileName, "Cannot open the file '%s'");
}
void RaiseReadError(const std::string& fileName) {
    RaiseFileError(FileErrorKind::Read, fileName, "Error reading file '%s'");
}
void RaiseSeekError(const std::string& fileName) {
    RaiseFileError(FileErrorKind::Seek, fileName, "File seek error in '%s'");
}
void RaiseWriteError(const std::string& fileName) {
    RaiseFileError(FileErrorKind::Write, fileName, "Error writing to the file '%s'");
}

std::string BuildErrorMessage(const std::string& context, const std::string& detail, int32_t code,
                              const char* codeFormat) {
    std::string result = context;
    if (!result.empty() && result.back() != '.')
        result += '.';
    if (!result.empty())
        result += "\r\n";
    std::string text = detail.empty() ? SystemErrorMessage(ErrorCodeFail) : detail;
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    result += text;
    if (codeFormat && *codeFormat)
        result += " (" + Format(codeFormat, code) + ")";
    return result;
}

std::string AppendSystemError(const std::string& message, int32_t code) {
    if (code != 0)
        return BuildErrorMessage(message, SystemErrorMessage(code), code, "%d");
    return BuildErrorMessage(message, "", 0, nullptr);
}

std::string DefaultTempName() {
    static const std::string name = [] {
        std::string full = ProgramFileName();
        size_t slash = full.find_last_of("\\/:");
        std::string base = slash == std::string::npos ? full : full.substr(slash + 1);
        size_t dot = base.rfind('.');
        base = dot == std::string::npos ? base : base.substr(0, dot);
        // Never the bare temporary folder: that one must not be removed at the end.
        return base.empty() ? std::string("ORUUpdate") : base;
    }();
    return name;
}

void ReleaseTempLocation() {
    RemoveCachedFolder(TempCache().folder);
}

void ThrowFileError(FileErrorKind kind, const std::string& text, int32_t code) {
    switch (kind) {
    case FileErrorKind::Lock:
        throw EFileLockError(text, code);
    case FileErrorKind::Open:
        throw EFileOpenError(text, code);
    case FileErrorKind::Read:
        throw EFileReadError(text, code);
    case FileErrorKind::Seek:
        throw EFileSeekError(text, code);
    case FileErrorKind::Unlock:
        throw EFileUnlockError(text, code);
    case FileErrorKind::Write:
        throw EFileWriteError(text, code);
    case FileErrorKind::Generic:
        break;
    }
    throw EFileError(text, code);
}

} // namespace oru
