// TFile: a stream over an operating-system file handle, opened by a 16-bit mode
// word, with optional whole-file locking through a one-byte region far beyond any
// data, and time stamping. Also the system and Windows folders.
#pragma once

#include "platform/FileUtilsX.h"
#include "platform/Streams.h"

#include <cstdint>
#include <functional>
#include <string>

namespace oru {

// Mode words.
constexpr uint16_t fmCreate = 0xFFFF; // read/write, no sharing, create or truncate
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreateNew = 0x2000;    // fail when the file exists
constexpr uint16_t fmLockOnOpen = 0x4000;   // with fmShareDenyNone: exclusive lock after opening
constexpr uint16_t fmOpenOrCreate = 0x8000; // open, or create when missing; no truncation

// File-creation flags as the system's file-creation call takes them.
constexpr uint32_t FileFlagsNormalSequential = 0x08000080;
constexpr uint32_t FileFlagDeleteOnClose = 0x04000000;

// Lock flags as the system's extended lock call takes them.
constexpr uint32_t LockFailImmediately = 1;
constexpr uint32_t LockExclusive = 2;

// Handed to the creation hook before the file is opened; values as the system's
// file-creation call takes them.
struct TFileCreateInfo {
    std::string FileName;
    uint32_t DesiredAccess = 0;
    uint32_t ShareMode = 0;
    uint32_t SecurityAttributes = 0; // always none
    uint32_t CreationDisposition = 0;
    uint32_t FlagsAndAttributes = 0;
    uint32_t TemplateFile = 0; // always none
};
using TFileCreateHook = std::function<void(TFileCreateInfo&)>;

class TFile : public TStream {
  public:
    TFile(const std::string& fileName, uint16_t mode);
    TFile(const std::string& fileName, uint32_t flags, uint16_t mode,
          const TFileCreateHook& hook = nullptr);
    ~TFile() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override;
    void SetSize(int64_t size) override;
    void Flush() override;

    void Lock(uint32_t flags);
    void Unlock();
    void Close();
    // Gives up a file this object was making: closes it, and deletes it when the
    // mode created it (0xFFFF or fmCreateNew). A file that existed before is kept.
    void Discard();
    // Last-write time from a local date-time; false when a conversion or the call fails.
    bool SetFileTime(TDateTime localTime);
    // A date-time (local time when local is set) as a UTC file time in 100-nanosecond
    // intervals since 1601; false, with the last error 87 for a date-time that is no
    // date, when a conversion fails.
    static bool DateTimeToFileTime(uint64_t& fileTime, bool local, TDateTime dateTime);

    const std::string& FileName() const { return fileName_; }
    uint16_t Mode() const { return mode_; }
    bool Locked() const { return locked_; }
    bool IsOpen() const;

  private:
    uint16_t mode_ = 0;
    std::string fileName_;
    intptr_t handle_ = -1; // the invalid-handle value of both halves
    bool locked_ = false;
    bool deleteOnClose_ = false; // the system does it on Windows; the POSIX half by hand
};

// Both end with a path delimiter (empty when the system gives nothing; always empty
// where there is no such folder).
std::string GetSystemFolder();
std::string GetWindowsFolder(bool shared);

} // namespace oru
