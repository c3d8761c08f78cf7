// File errors with the operating system's explanation attached, folder creation,
// temporary files and file times. The operations live in an overridable class; a
// global pointer selects the platform's implementation and free routines forward
// to it, so callers never name the class.
#pragma once

#include "platform/DateTimeUtils.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

// <windows.h> maps these names to its ANSI functions; the names of this unit win.
#undef CreateDirectory
#undef DeleteFile

namespace oru {

class EFileError : public EStreamError {
  public:
    EFileError(std::string message, int32_t code)
        : EStreamError(std::move(message)), ErrorCode(code) {}
    int32_t ErrorCode;
};
#define ORU_FILE_ERROR(Name)                                                                       \
    class Name : public EFileError {                                                               \
      public:                                                                                      \
        using EFileError::EFileError;                                                              \
    };
ORU_FILE_ERROR(EFileLockError)
ORU_FILE_ERROR(EFileOpenError)
ORU_FILE_ERROR(EFileReadError)
ORU_FILE_ERROR(EFileSeekError)
ORU_FILE_ERROR(EFileUnlockError)
ORU_FILE_ERROR(EFileWriteError)
#undef ORU_FILE_ERROR

enum class FileErrorKind { Generic, Lock, Open, Read, Seek, Unlock, Write };

// Raises the exception class that belongs to kind, with a finished message.
[[noreturn]] void ThrowFileError(FileErrorKind kind, const std::string& message, int32_t code);

struct TFileTimes {
    TDateTime Created = 0;
    TDateTime LastAccessed = 0;
    TDateTime LastWritten = 0;
};

class TFileUtils {
  public:
    virtual ~TFileUtils() = default;
    virtual bool ForceDirectories(const std::string& path);
    virtual bool CreateDirectory(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual void CheckForceDirectories(const std::string& path);
    virtual std::string CreateTempFile(std::string folder, std::string prefix);
    virtual void GetTempLocation(std::string& folder, std::string& prefix);
    [[noreturn]] virtual void RaiseError(FileErrorKind kind, const std::string& message) = 0;
    virtual void GetFileTimes(const std::string& fileName, TFileTimes& times) = 0;
    virtual TDateTime FileModified(const std::string& fileName);
    virtual TDateTime FileCreated(const std::string& fileName);
    virtual TDateTime FileAccessed(const std::string& fileName);
    // fileTime: 100-nanosecond intervals since 1 January 1601 (UTC unless already
    // local); local converts it to local time first.
    virtual bool FileTimeToDateTime(uint64_t fileTime, TDateTime& dateTime, bool local);
    virtual bool FileTimeToLocalDateTime(uint64_t fileTime, TDateTime& dateTime);
};

// The platform's own implementation, made by the platform half.
TFileUtils& PlatformFileUtils();

// The selected implementation (the platform's own unless a test replaces it).
TFileUtils& FileUtils();
void SetFileUtils(TFileUtils* impl); // nullptr restores the platform's own

bool ForceDirectories(const std::string& path);
bool CreateDirectory(const std::string& path);
bool DirectoryExists(const std::string& path);
void CheckForceDirectories(const std::string& path);
// format: every "%s" stands for the file name ("%%" for a percent sign).
[[noreturn]] void RaiseFileError(FileErrorKind kind, const std::string& fileName,
                                 const char* format);
[[noreturn]] void RaiseOpenError(const std::string& fileName);  // "Cannot open the file '%s'"
[[noreturn]] void RaiseReadError(const std::string& fileName);  // "Error reading file '%s'"
[[noreturn]] void RaiseSeekError(const std::string& fileName);  // "File seek error in '%s'"
[[noreturn]] void RaiseWriteError(const std::string& fileName); // "Error writing to the file '%s'"

// The message builder: context + "." + CR LF + detail without its final full stop
// + " (code)". An empty detail becomes the system's text for E_FAIL.
std::string BuildErrorMessage(const std::string& context, const std::string& detail, int32_t code,
                              const char* codeFormat);
std::string AppendSystemError(const std::string& message, int32_t code);
// The operating system's text for an error code, trailing control characters,
// blanks and full stops cut; empty when there is none.
std::string SystemErrorMessage(int32_t code);
int32_t GetLastOsError();
void SetLastOsError(int32_t code);
// The generic-failure code whose text stands in for a missing explanation.
constexpr int32_t ErrorCodeFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t ErrorInvalidParameter = 87;

// Full name of the running program.
std::string ProgramFileName();
// The program's name without folder and extension: names the temporary folder and
// is the default prefix of temporary files.
std::string DefaultTempName();
// Removes the cached temporary folder when it is empty and forgets it; runs by
// itself when the program ends.
void ReleaseTempLocation();

// Framework-style file routines, each a thin call into the platform.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faHidden = 0x02;
constexpr int32_t faDirectory = 0x10;
bool FileExists(const std::string& fileName); // a file, not a folder
bool DeleteFile(const std::string& fileName);
int32_t FileGetAttr(const std::string& fileName); // -1 when it cannot be read
bool FileSetAttr(const std::string& fileName, int32_t attributes);
// Moves a file over another one, replacing it in one step where the system allows.
bool RenameFileReplace(const std::string& from, const std::string& to);
bool RemoveDir(const std::string& path);

} // namespace oru
