#include "platform/Files.h"

#include "platform/FileUtilsPosix.h"
#include "platform/PathUtilsX.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oru {

namespace {

bool CreatesFile(uint16_t mode) {
    return mode == fmCreate || (mode & fmCreateNew) != 0;
}

// Open flags for a mode word; -1 for a word that names no valid access or sharing.
// POSIX has no sharing modes: the code is only checked.
int FromMode(uint16_t mode) {
    if (mode == fmCreate)
        return O_RDWR | O_CREAT;
    int flags;
    switch (mode & 3) {
    case 0:
        flags = O_RDONLY;
        break;
    case 1:
        flags = O_WRONLY;
        break;
    case 2:
        flags = O_RDWR;
        break;
    default:
        return -1;
    }
    if (((mode >> 4) & 15) > 4)
        return -1;
    if (mode & fmCreateNew)
        flags |= O_CREAT | O_EXCL;
    else if (mode & fmOpenOrCreate)
        flags |= O_CREAT;
    return flags;
}

} // namespace

TFile::TFile(const std::string& fileName, uint16_t mode)
    : TFile(fileName, FileFlagsNormalSequential, mode) {}

TFile::TFile(const std::string& fileName, uint32_t flags, uint16_t mode,
             const TFileCreateHook& hook)
    : mode_(mode), fileName_(fileName) {
    TFileCreateInfo info;
    info.FileName = fileName;
    info.FlagsAndAttributes = flags;
    if (hook)
        hook(info);
    fileName_ = info.FileName;
    int openFlags = FromMode(mode);
    TFileDescriptor fd;
    if (openFlags >= 0)
        fd.Reset(::open(SystemPath(fileName_).c_str(), openFlags | O_CLOEXEC, 0666));
    else
        errno = EINVAL;
    if (!fd.Valid()) {
        if (CreatesFile(mode))
            RaiseFileError(FileErrorKind::Open, fileName_, "Cannot create the file '%s'");
        RaiseOpenError(fileName_);
    }
    handle_ = fd.Get();
    if (mode == fmCreate) {
        if (::ftruncate(fd.Get(), 0) != 0)
            RaiseWriteError(fileName_);
    } else if ((mode & (fmLockOnOpen | fmShareDenyNone)) == (fmLockOnOpen | fmShareDenyNone)) {
        Lock(LockExclusive);
    }
    deleteOnClose_ = (flags & FileFlagDeleteOnClose) != 0;
    fd.Release();
}

TFile::~TFile() {
    Close();
}

bool TFile::IsOpen() const {
    return handle_ >= 0;
}

int32_t TFile::Read(void* buffer, int32_t count) {
    if (count < 0) {
        errno = EINVAL;
        RaiseReadError(fileName_);
    }
    ssize_t n;
    do
        n = ::read(static_cast<int>(handle_), buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        RaiseReadError(fileName_);
    return static_cast<int32_t>(n);
}

int32_t TFile::Write(const void* buffer, int32_t count) {
    if (count < 0) {
        errno = EINVAL;
        RaiseWriteError(fileName_);
    }
    ssize_t n;
    do
        n = ::write(static_cast<int>(handle_), buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        RaiseWriteError(fileName_);
    return static_cast<int32_t>(n);
}

int64_t TFile::Seek(int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                 : origin == SeekOrigin::Current ? SEEK_CUR
                                                 : SEEK_END;
    off_t pos = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (pos < 0)
        RaiseSeekError(fileName_);
    return static_cast<int64_t>(pos);
}

int64_t TFile::GetSize() {
    return TStream::GetSize();
}

void TFile::SetSize(int64_t size) {
    Seek(size, SeekOrigin::Begin);
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0)
        RaiseWriteError(fileName_);
}

void TFile::Flush() {
    if (::fsync(static_cast<int>(handle_)) != 0)
        RaiseWriteError(fileName_);
}

// A whole-file advisory lock held by the open file, like the Windows lock on a
// region beyond the data: it blocks other lockers, never reads or writes.
void TFile::Lock(uint32_t flags) {
    int operation = LOCK_EX | ((flags & LockFailImmediately) ? LOCK_NB : 0);
    int rc;
    do
        rc = ::flock(static_cast<int>(handle_), operation);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        RaiseFileError(FileErrorKind::Lock, fileName_, "Cannot lock the file '%s'");
    locked_ = true;
}

void TFile::Unlock() {
    if (!locked_) { // flock would quietly succeed; keep the Windows answer
        errno = ENOLCK;
        RaiseFileError(FileErrorKind::Unlock, fileName_, "Cannot unlock the file '%s'");
    }
    if (::flock(static_cast<int>(handle_), LOCK_UN) != 0)
        RaiseFileError(FileErrorKind::Unlock, fileName_, "Cannot unlock the file '%s'");
    locked_ = false;
}

void TFile::Close() {
    if (!IsOpen())
        return;
    TFileDescriptor fd(static_cast<int>(handle_));
    handle_ = -1;
    if (locked_) {
        ::flock(fd.Get(), LOCK_UN); // closing ends the lock anyway
        locked_ = false;
    }
    fd.Reset();
    if (deleteOnClose_)
        ::unlink(SystemPath(fileName_).c_str());
}

void TFile::Discard() {
    Close();
    if (CreatesFile(mode_))
        ::unlink(SystemPath(fileName_).c_str());
}

bool TFile::DateTimeToFileTime(uint64_t& fileTime, bool local, TDateTime dateTime) {
    TSystemTime f;
    if (!TryDecodeDateTime(dateTime, f) || f.Year < 1601) {
        errno = EINVAL;
        return false;
    }
    struct tm parts = {};
    parts.tm_year = f.Year - 1900;
    parts.tm_mon = f.Month - 1;
    parts.tm_mday = f.Day;
    parts.tm_hour = f.Hour;
    parts.tm_min = f.Minute;
    parts.tm_sec = f.Second;
    parts.tm_isdst = -1;
    errno = 0;
    time_t seconds = local ? ::mktime(&parts) : ::timegm(&parts);
    if (seconds == static_cast<time_t>(-1) && errno != 0)
        return false;
    constexpr int64_t UnixEpochAsFileTime = 116444736000000000LL;
    int64_t value = UnixEpochAsFileTime + static_cast<int64_t>(seconds) * 10000000LL +
                    static_cast<int64_t>(f.Milliseconds) * 10000LL;
    if (value < 0)
        return false;
    fileTime = static_cast<uint64_t>(value);
    return true;
}

bool TFile::SetFileTime(TDateTime localTime) {
    uint64_t value = 0;
    if (!DateTimeToFileTime(value, true, localTime))
        return false;
    constexpr uint64_t UnixEpochAsFileTime = 116444736000000000ULL;
    if (value < UnixEpochAsFileTime) {
        errno = EINVAL;
        return false;
    }
    uint64_t since1970 = value - UnixEpochAsFileTime;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(since1970 / 10000000ULL);
    times[1].tv_nsec = static_cast<long>(since1970 % 10000000ULL * 100);
    return ::futimens(static_cast<int>(handle_), times) == 0;
}

// There are no system and Windows folders here.
std::string GetSystemFolder() {
    return {};
}
std::string GetWindowsFolder(bool) {
    return {};
}

} // namespace oru
