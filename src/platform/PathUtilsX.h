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

  protected:
    // The shared rules of slots 1 and 3 over a set of delimiter characters (the
    // first is the one added); with driveColon a ":" also ends the folder part (as
    // in "C:name").
    static std::string FolderPart(const std::string& fileName, bool withTrailing,
                                  const char* delimiters, bool driveColon);
    static std::string WithTrailing(const std::string& path, bool keepEmpty,
                                    const char* delimiters);
};

// The one instance, made by the platform half on first use.
TPathUtils& PathUtils();

// Folder part up to the last "\" or ":"; "/" is an ordinary character.
std::string ExtractFilePath(const std::string& fileName, bool withTrailing = true);
// keepEmpty: an empty path stays empty (the form the whole system uses).
std::string IncludeTrailingDelimiter(const std::string& path, bool keepEmpty = true);
std::string GetTempFolder();

} // namespace oru
