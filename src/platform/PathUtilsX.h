// Path questions: folder parts, trailing delimiters, long names and the system's
// special folders. One instance of the platform's class answers them.
#pragma once

#include <cstdint>
#include <string>

namespace oru {

class TPathUtils {
public:
    virtual ~TPathUtils() = default;
    virtual int32_t GetCommonAppDataFolder(std::string& path) = 0;
    virtual std::string ExtractFilePath(const std::string& fileName, bool withTrailing);
    virtual std::string GetUserProfileFolder();
    virtual std::string IncludeTrailingDelimiter(const std::string& path, bool keepEmpty);
    virtual int32_t GetLocalAppDataFolder(std::string& path) = 0;
    virtual std::string LongPathName(const std::string& path);
    virtual std::string NormalizePath(const std::string& path);
    virtual int32_t MaxPath();
    virtual std::string GetTempFolder();
};

TPathUtils& PathUtils();

// Folder part up to the last "\" or ":"; "/" is an ordinary character.
std::string ExtractFilePath(const std::string& fileName, bool withTrailing = true);
// keepEmpty: an empty path stays empty (the form the whole system uses).
std::string IncludeTrailingDelimiter(const std::string& path, bool keepEmpty = true);
std::string GetTempFolder();

} // namespace oru
