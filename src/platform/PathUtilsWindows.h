// Path questions answered by the Windows shell and file API.
#pragma once

#include "platform/PathUtilsX.h"

namespace oru {

class TPathUtilsWindows : public TPathUtils {
  public:
    int32_t GetCommonAppDataFolder(std::string& path) override;
    std::string GetUserProfileFolder() override;
    int32_t GetLocalAppDataFolder(std::string& path) override;
    std::string LongPathName(const std::string& path) override;
    std::string GetTempFolder() override;
};

} // namespace oru
