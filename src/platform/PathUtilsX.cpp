#include "platform/PathUtilsX.h"

#include <cstring>

namespace oru {

std::string TPathUtils::FolderPart(const std::string& fileName, bool withTrailing,
                                   const char* delimiters, bool driveColon) {
    std::string all = std::string(delimiters) + (driveColon ? ":" : "");
    size_t pos = fileName.find_last_of(all);
    std::string folder = pos == std::string::npos ? std::string() : fileName.substr(0, pos + 1);
    if (!withTrailing && !folder.empty() && std::strchr(delimiters, folder.back()))
        folder.pop_back();
    return folder;
}

std::string TPathUtils::WithTrailing(const std::string& path, bool keepEmpty,
                                     const char* delimiters) {
    // The first delimiter is the one added.
    if (path.empty())
        return keepEmpty ? std::string() : std::string(1, delimiters[0]);
    return std::strchr(delimiters, path.back()) ? path : path + delimiters[0];
}

std::string TPathUtils::ExtractFilePath(const std::string& fileName, bool withTrailing) {
    return FolderPart(fileName, withTrailing, "\\", true);
}

std::string TPathUtils::GetUserProfileFolder() {
    return {};
}

std::string TPathUtils::IncludeTrailingDelimiter(const std::string& path, bool keepEmpty) {
    return WithTrailing(path, keepEmpty, "\\");
}

// Short names are a Windows matter; elsewhere the path is already its long form.
std::string TPathUtils::LongPathName(const std::string& path) {
    return path;
}

std::string TPathUtils::NormalizePath(const std::string& path) {
    return path;
}

int32_t TPathUtils::MaxPath() {
    return 260;
}

std::string TPathUtils::GetTempFolder() {
    return {};
}

std::string ExtractFilePath(const std::string& fileName, bool withTrailing) {
    return PathUtils().ExtractFilePath(fileName, withTrailing);
}

std::string IncludeTrailingDelimiter(const std::string& path, bool keepEmpty) {
    return PathUtils().IncludeTrailingDelimiter(path, keepEmpty);
}

std::string GetTempFolder() {
    return PathUtils().GetTempFolder();
}

} // namespace oru
