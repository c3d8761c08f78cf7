#include "platform/PathUtilsPosix.h"

#include "platform/FileUtilsX.h"

#include <cstdlib>

namespace oru {

namespace {
// "/" first: it is the one added.
const char* const Delimiters = "/\\";
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}
} // namespace

TPathUtils& PathUtils() {
    static TPathUtilsPosix instance;
    return instance;
}

// There are no shell folders here: the lookups fail like a failing shell call.
int32_t TPathUtilsPosix::GetCommonAppDataFolder(std::string& path) {
    path.clear();
    return ErrorCodeFail;
}

int32_t TPathUtilsPosix::GetLocalAppDataFolder(std::string& path) {
    path.clear();
    return ErrorCodeFail;
}

std::string TPathUtilsPosix::ExtractFilePath(const std::string& fileName, bool withTrailing) {
    return FolderPart(fileName, withTrailing, Delimiters, false);
}

std::string TPathUtilsPosix::GetUserProfileFolder() {
    return Environment("HOME");
}

std::string TPathUtilsPosix::IncludeTrailingDelimiter(const std::string& path, bool keepEmpty) {
    return WithTrailing(path, keepEmpty, Delimiters);
}

std::string TPathUtilsPosix::GetTempFolder() {
    std::string temp = Environment("TMPDIR");
    if (temp.empty())
        temp = "/tmp";
    return IncludeTrailingDelimiter(temp, true);
}

} // namespace oru
