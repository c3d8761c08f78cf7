// The file utilities over the Windows file API.
#pragma once

#include "platform/FileUtilsX.h"

namespace oru {

class TFileUtilsWindows : public TFileUtils {
  public:
    bool CreateDirectory(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    std::string CreateTempFile(std::string folder, std::string prefix) override;
    [[noreturn]] void RaiseError(FileErrorKind kind, const std::string& message) override;
    void GetFileTimes(const std::string& fileName, TFileTimes& times) override;
    bool FileTimeToDateTime(uint64_t fileTime, TDateTime& dateTime, bool local) override;
};

} // namespace oru
