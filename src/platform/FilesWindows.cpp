#include <windows.h>

#include "platform/Files.h"

#include "platform/PathUtilsX.h"
#include "platform/WinHandles.h"

namespace oru {

namespace {

// One byte at 2^64 - 2: beyond any real data, so holding it marks exclusive use
// without blocking reads and writes of the content by others.
constexpr DWORD LockOffsetLow = 0xFFFFFFFE;
constexpr DWORD LockOffsetHigh = 0xFFFFFFFF;
constexpr DWORD LockLength = 1;

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
intptr_t FromHandle(HANDLE h) {
    return reinterpret_cast<intptr_t>(h);
}

OVERLAPPED LockRegion() {
    OVERLAPPED ov = {};
    ov.Offset = LockOffsetLow;
    ov.OffsetHigh = LockOffsetHigh;
    return ov;
}

struct OpenParameters {
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
    bool valid = true;
};

OpenParameters FromMode(uint16_t mode) {
    OpenParameters p;
    if (mode == fmCreate) {
        p.access = GENERIC_READ | GENERIC_WRITE;
        p.disposition = OPEN_ALWAYS; // then cut to length 0, keeping the file's attributes
        return p;
    }
    switch (mode & 3) {
    case 0:
        p.access = GENERIC_READ;
        break;
    case 1:
        p.access = GENERIC_WRITE;
        break;
    case 2:
        p.access = GENERIC_READ | GENERIC_WRITE;
        break;
    default:
        p.valid = false;
    }
    switch ((mode >> 4) & 15) {
    case 0:
    case 1:
        p.share = 0;
        break;
    case 2:
        p.share = FILE_SHARE_READ;
        break;
    case 3:
        p.share = FILE_SHARE_WRITE;
        break;
    case 4:
        p.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:
        p.valid = false;
    }
    if (mode & fmCreateNew)
        p.disposition = CREATE_NEW;
    else if (mode & fmOpenOrCreate)
        p.disposition = OPEN_ALWAYS;
    else
        p.disposition = OPEN_EXISTING;
    return p;
}

bool CreatesFile(uint16_t mode) {
    return mode == fmCreate || (mode & fmCreateNew) != 0;
}

} // namespace

TFile::TFile(const std::string& fileName, uint16_t mode)
    : TFile(fileName, FileFlagsNormalSequential, mode) {}

TFile::TFile(const std::string& fileName, uint32_t flags, uint16_t mode,
             const TFileCreateHook& hook)
    : mode_(mode), fileName_(fileName) {
    handle_ = FromHandle(INVALID_HANDLE_VALUE);
    TFileCreateInfo info;
    info.FileName = fileName;
    info.FlagsAndAttributes = flags;
    OpenParameters p = FromMode(mode);
    info.DesiredAccess = p.access;
    info.ShareMode = p.share;
    info.CreationDisposition = p.disposition;
    if (flags & FILE_FLAG_DELETE_ON_CLOSE)
        info.ShareMode |= FILE_SHARE_DELETE;
    if (hook)
        hook(info);
    fileName_ = info.FileName;
    TFileHandle h;
    if (p.valid)
        h.Reset(::CreateFileA(info.FileName.c_str(), info.DesiredAccess, info.ShareMode, nullptr,
                              info.CreationDisposition, info.FlagsAndAttributes, nullptr));
    else
        ::SetLastError(ERROR_INVALID_PARAMETER);
    if (!h) {
        if (CreatesFile(mode))
            RaiseFileError(FileErrorKind::Open, fileName_, "Cannot create the file '%s'");
        RaiseOpenError(fileName_);
    }
    // Until the end the local owner closes the handle should a later step raise.
    handle_ = FromHandle(h.Get());
    if (mode == fmCreate) {
        if (!::SetEndOfFile(h.Get()))
            RaiseWriteError(fileName_);
    } else if ((mode & (fmLockOnOpen | fmShareDenyNone)) == (fmLockOnOpen | fmShareDenyNone)) {
        Lock(LockExclusive);
    }
    h.Release();
}

TFile::~TFile() {
    Close();
}

bool TFile::IsOpen() const {
    return AsHandle(handle_) != INVALID_HANDLE_VALUE;
}

int32_t TFile::Read(void* buffer, int32_t count) {
    if (count < 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        RaiseReadError(fileName_);
    }
    DWORD done = 0;
    if (!::ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr))
        RaiseReadError(fileName_);
    return static_cast<int32_t>(done);
}

int32_t TFile::Write(const void* buffer, int32_t count) {
    if (count < 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        RaiseWriteError(fileName_);
    }
    DWORD done = 0;
    if (!::WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &done, nullptr))
        RaiseWriteError(fileName_);
    return static_cast<int32_t>(done);
}

int64_t TFile::Seek(int64_t offset, SeekOrigin origin) {
    LONG high = static_cast<LONG>(offset >> 32);
    // A position whose low half is all ones is valid: only the last error tells.
    ::SetLastError(NO_ERROR);
    DWORD low = ::SetFilePointer(AsHandle(handle_), static_cast<LONG>(static_cast<DWORD>(offset)),
                                 &high, static_cast<DWORD>(origin));
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        RaiseSeekError(fileName_);
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

int64_t TFile::GetSize() {
    return TStream::GetSize();
}

void TFile::SetSize(int64_t size) {
    Seek(size, SeekOrigin::Begin);
    if (!::SetEndOfFile(AsHandle(handle_)))
        RaiseWriteError(fileName_);
}

void TFile::Flush() {
    if (!::FlushFileBuffers(AsHandle(handle_)))
        RaiseWriteError(fileName_);
}

void TFile::Lock(uint32_t flags) {
    OVERLAPPED ov = LockRegion();
    if (::LockFileEx(AsHandle(handle_), flags, 0, LockLength, 0, &ov)) {
        locked_ = true;
        return;
    }
    if (::GetLastError() != ERROR_NOT_SUPPORTED)
        RaiseFileError(FileErrorKind::Lock, fileName_, "Cannot lock the file '%s'");
    // Without the extended call the plain one never waits: retry until the holder lets go.
    for (;;) {
        if (::LockFile(AsHandle(handle_), LockOffsetLow, LockOffsetHigh, LockLength, 0)) {
            locked_ = true;
            return;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION || (flags & LockFailImmediately))
            RaiseFileError(FileErrorKind::Lock, fileName_, "Cannot lock the file '%s'");
        ::Sleep(500);
    }
}

void TFile::Unlock() {
    OVERLAPPED ov = LockRegion();
    if (!::UnlockFileEx(AsHandle(handle_), 0, LockLength, 0, &ov))
        RaiseFileError(FileErrorKind::Unlock, fileName_, "Cannot unlock the file '%s'");
    locked_ = false;
}

void TFile::Close() {
    if (!IsOpen())
        return;
    TFileHandle h(AsHandle(handle_));
    handle_ = FromHandle(INVALID_HANDLE_VALUE);
    if (locked_) {
        // Closing the handle ends the lock anyway; a failing unlock must not keep
        // the handle open or escape a destructor.
        OVERLAPPED ov = LockRegion();
        ::UnlockFileEx(h.Get(), 0, LockLength, 0, &ov);
        locked_ = false;
    }
}

void TFile::Discard() {
    Close();
    if (CreatesFile(mode_))
        ::DeleteFileA(fileName_.c_str());
}

bool TFile::DateTimeToFileTime(uint64_t& fileTime, bool local, TDateTime dateTime) {
    TSystemTime f;
    if (!TryDecodeDateTime(dateTime, f)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    SYSTEMTIME st = {f.Year, f.Month,  f.DayOfWeek, f.Day,
                     f.Hour, f.Minute, f.Second,    f.Milliseconds};
    FILETIME ft;
    if (!::SystemTimeToFileTime(&st, &ft))
        return false;
    if (local) {
        FILETIME localTime = ft;
        if (!::LocalFileTimeToFileTime(&localTime, &ft))
            return false;
    }
    fileTime = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return true;
}

bool TFile::SetFileTime(TDateTime localTime) {
    uint64_t value = 0;
    if (!DateTimeToFileTime(value, true, localTime))
        return false;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ::SetFileTime(AsHandle(handle_), nullptr, nullptr, &ft) != 0;
}

std::string GetSystemFolder() {
    return IncludeTrailingDelimiter(ReadSizedText(
                                        [](char* buffer, uint32_t room) {
                                            return static_cast<uint32_t>(
                                                ::GetSystemDirectoryA(buffer, room));
                                        },
                                        MAX_PATH + 1),
                                    true);
}

std::string GetWindowsFolder(bool shared) {
    return IncludeTrailingDelimiter(ReadSizedText(
                                        [shared](char* buffer, uint32_t room) {
                                            return static_cast<uint32_t>(
                                                shared ? ::GetSystemWindowsDirectoryA(buffer, room)
                                                       : ::GetWindowsDirectoryA(buffer, room));
                                        },
                                        MAX_PATH + 1),
                                    true);
}

} // namespace oru
