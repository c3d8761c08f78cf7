// The file utilities over POSIX calls, so that the archive reader and the package
// tool build and run natively. The rest of the system writes paths with "\"; this
// half turns every "\" into "/" where a path is handed to the system.
#pragma once

#include "platform/FileUtilsX.h"

namespace oru {

class TFileUtilsPosix : public TFileUtils {
  public:
    bool CreateDirectory(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    std::string CreateTempFile(std::string folder, std::string prefix) override;
    [[noreturn]] void RaiseError(FileErrorKind kind, const std::string& message) override;
    void GetFileTimes(const std::string& fileName, TFileTimes& times) override;
    bool FileTimeToDateTime(uint64_t fileTime, TDateTime& dateTime, bool local) override;
};

// The path as the system takes it: every "\" becomes "/".
std::string SystemPath(const std::string& path);

// Owns one POSIX file descriptor.
class TFileDescriptor {
  public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(TFileDescriptor&& other) noexcept : fd_(other.Release()) {}
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept;
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    bool Reset(int fd = -1);

  private:
    int fd_ = -1;
};

} // namespace oru
