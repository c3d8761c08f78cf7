// Path questions on POSIX systems, where "/" is the native delimiter (the one a
// trailing delimiter adds) and "\" (the form the rest of the system writes) is
// taken as one too.
#pragma once

#include "platform/PathUtilsX.h"

namespace oru {

class TPathUtilsPosix : public TPathUtils {
  public:
    int32_t GetCommonAppDataFolder(std::string& path) override;
    std::string ExtractFilePath(const std::string& fileName, bool withTrailing) override;
    std::string GetUserProfileFolder() override;
    std::string IncludeTrailingDelimiter(const std::string& path, bool keepEmpty) override;
    int32_t GetLocalAppDataFolder(std::string& path) override;
    std::string GetTempFolder() override;
};

} // namespace oru
