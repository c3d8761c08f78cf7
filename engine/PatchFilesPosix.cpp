// POSIX half of the patch file operations. There is no restart queue here, so
// files in use cannot be deferred: those requests fail with a clear message.
#include "engine/PatchFilesX.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oru::patch {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err = errno) {
    throw EPatchFileError(what + " '" + path + "': " + std::strerror(err),
                          err == ETXTBSY || err == EBUSY);
}

class TFdStream : public TStream {
  public:
    TFdStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TFdStream() override { ::close(fd_); }

    int32_t Read(void* buffer, int32_t count) override {
        int32_t done = 0;
        while (done < count) {
            ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                Fail("Cannot read", path_);
            if (n == 0)
                break;
            done += static_cast<int32_t>(n);
        }
        return done;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        int32_t done = 0;
        while (done < count) {
            ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Fail("Cannot write", path_, n < 0 ? errno : ENOSPC);
            done += static_cast<int32_t>(n);
        }
        StartWriteBack(done);
        return done;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
        off_t pos = ::lseek(fd_, offset, whence);
        if (pos < 0)
            Fail("Cannot seek in", path_);
        return pos;
    }
    int64_t GetSize() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            Fail("Cannot read the size of", path_);
        return st.st_size;
    }
    void SetSize(int64_t size) override {
        if (::ftruncate(fd_, size) != 0)
            Fail("Cannot set the size of", path_);
    }
    void Flush() override {
        if (::fdatasync(fd_) != 0)
            Fail("Cannot flush", path_);
    }

  private:
    // A large new file is flushed before it is moved in. Handing each few
    // megabytes to the disk as soon as they are written lets the disk work while
    // the engine computes, so that flush has only the tail left to wait for.
    void StartWriteBack(int32_t written) {
        constexpr int64_t kChunk = 8 << 20;
        pending_ += written;
        if (pending_ < kChunk)
            return;
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        if (end > 0)
            ::sync_file_range(fd_, end - pending_ > 0 ? end - pending_ : 0, pending_,
                              SYNC_FILE_RANGE_WRITE); // a hint: failure changes nothing
        pending_ = 0;
    }

    int fd_;
    std::string path_;
    int64_t pending_ = 0;
};

class TPosixPatchFiles : public TPatchFiles {
  public:
    TFileState Query(const std::string& path) override {
        TFileState state;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return state;
        state.Exists = true;
        state.IsFolder = S_ISDIR(st.st_mode);
        state.Size = state.IsFolder ? 0 : static_cast<uint64_t>(st.st_size);
        return state;
    }
    std::unique_ptr<TStream> OpenRead(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            Fail("Cannot open", path);
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            Fail("Cannot open", path, EISDIR);
        }
        return std::make_unique<TFdStream>(fd, path);
    }
    std::unique_ptr<TStream> CreateNew(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            Fail("Cannot create", path);
        return std::make_unique<TFdStream>(fd, path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        // rename() would silently replace an existing file.
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0)
            Fail("Cannot rename '" + from + "' to", to, EEXIST);
        if (::rename(from.c_str(), to.c_str()) != 0)
            Fail("Cannot rename '" + from + "' to", to);
    }
    void ReplaceFile(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0)
            Fail("Cannot move '" + from + "' over", to);
    }
    void KeepCopy(const std::string& existing, const std::string& copy) override {
        if (::link(existing.c_str(), copy.c_str()) == 0)
            return;
        if (errno != EPERM && errno != EXDEV && errno != EMLINK && errno != ENOTSUP)
            Fail("Cannot keep a copy of '" + existing + "' as", copy);
        CopyDurably(existing, copy);
    }
    void FlushFolder(const std::string& folder) override {
        int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            Fail("Cannot open the folder", folder);
        int rc = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (rc != 0)
            Fail("Cannot flush the folder", folder, err);
    }
    void Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0)
            Fail("Cannot delete", path);
    }
    void MakeFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0755) != 0)
            Fail("Cannot create the folder", path);
    }
    void RemoveFolder(const std::string& path) override {
        if (::rmdir(path.c_str()) != 0)
            Fail("Cannot remove the folder", path);
    }
    void ReplaceAtRestart(const std::string& from, const std::string& to) override {
        throw EPatchFileError("Cannot replace '" + to + "' at restart on this system");
    }
    void DeleteAtRestart(const std::string& path) override {
        throw EPatchFileError("Cannot delete '" + path + "' at restart on this system");
    }
    std::vector<std::string> ListFiles(const std::string& folder) override {
        std::vector<std::string> out;
        List(folder, "", out);
        std::sort(out.begin(), out.end());
        return out;
    }
    char Separator() const override { return '/'; }

  private:
    void List(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            Fail("Cannot list the folder", folder);
        std::unique_ptr<DIR, int (*)(DIR*)> guard(dir, ::closedir);
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            // A patch names files with "\" separators, so such a name could not be told apart.
            if (name.find('\\') != std::string::npos)
                throw EPatchFileError("Cannot handle the file name '" + folder + "/" + name +
                                      "': it contains a backslash");
            std::string full = folder + "/" + name;
            struct stat st {};
            if (::stat(full.c_str(), &st) != 0)
                Fail("Cannot read", full);
            if (S_ISDIR(st.st_mode))
                List(full, prefix + name + "\\", out);
            else if (S_ISREG(st.st_mode))
                out.push_back(prefix + name);
        }
    }
};

} // namespace

TPatchFiles& SystemPatchFiles() {
    static TPosixPatchFiles files;
    return files;
}

} // namespace oru::patch
