// Windows half of the patch file operations: ANSI Win32 calls, sharing rules
// that keep other writers out while a file is read, and the restart queue.
#include <windows.h>

#include "engine/PatchFilesX.h"
#include "platform/FileUtilsX.h"

#include <algorithm>

namespace oru::patch {

namespace {

// The system's own explanation, as every other file error of the program gives it.
std::string SystemText(DWORD code) {
    int32_t value = static_cast<int32_t>(code);
    return SystemErrorMessage(value) + " (" + std::to_string(value) + ")";
}

bool IsInUse(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_USER_MAPPED_FILE;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path,
                       DWORD code = GetLastError()) {
    throw EPatchFileError(what + " '" + path + "': " + SystemText(code), IsInUse(code));
}

class THandleStream : public TStream {
  public:
    THandleStream(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    ~THandleStream() override { CloseHandle(handle_); }

    int32_t Read(void* buffer, int32_t count) override {
        int32_t done = 0;
        while (done < count) {
            DWORD n = 0;
            if (!ReadFile(handle_, static_cast<char*>(buffer) + done, count - done, &n, nullptr))
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
            DWORD n = 0;
            if (!WriteFile(handle_, static_cast<const char*>(buffer) + done, count - done, &n,
                           nullptr))
                Fail("Cannot write", path_);
            if (n == 0)
                Fail("Cannot write", path_, ERROR_DISK_FULL);
            done += static_cast<int32_t>(n);
        }
        return done;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        LARGE_INTEGER distance, pos;
        distance.QuadPart = offset;
        DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                       : origin == SeekOrigin::Current ? FILE_CURRENT
                                                       : FILE_END;
        if (!SetFilePointerEx(handle_, distance, &pos, method))
            Fail("Cannot seek in", path_);
        return pos.QuadPart;
    }
    int64_t GetSize() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size))
            Fail("Cannot read the size of", path_);
        return size.QuadPart;
    }
    void SetSize(int64_t size) override {
        int64_t keep = GetPosition();
        Seek(size, SeekOrigin::Begin);
        if (!SetEndOfFile(handle_))
            Fail("Cannot set the size of", path_);
        Seek(std::min(keep, size), SeekOrigin::Begin);
    }
    void Flush() override {
        if (!FlushFileBuffers(handle_))
            Fail("Cannot flush", path_);
    }

  private:
    HANDLE handle_;
    std::string path_;
};

class TWindowsPatchFiles : public TPatchFiles {
  public:
    TFileState Query(const std::string& path) override {
        TFileState state;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
            return state;
        state.Exists = true;
        state.IsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!state.IsFolder)
            state.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return state;
    }
    std::unique_ptr<TStream> OpenRead(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            Fail("Cannot open", path);
        return std::make_unique<THandleStream>(h, path);
    }
    std::unique_ptr<TStream> CreateNew(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            Fail("Cannot create", path);
        return std::make_unique<THandleStream>(h, path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        if (!MoveFileExA(from.c_str(), to.c_str(), 0))
            Fail("Cannot rename '" + from + "' to", to);
    }
    void ReplaceFile(const std::string& from, const std::string& to) override {
        constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
        // A target another program holds without sharing deletion is in use: ask
        // first, since some systems let the replacement pass over such a file.
        HANDLE probe = CreateFileA(to.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            DWORD code = GetLastError();
            if (IsInUse(code))
                Fail("Cannot move '" + from + "' over", to, code);
        } else {
            CloseHandle(probe);
        }
        if (MoveFileExA(from.c_str(), to.c_str(), flags))
            return;
        DWORD code = GetLastError();
        // A read-only target refuses to be replaced, though it may be renamed; the
        // new file does not inherit the attribute, as a newly built file would not.
        DWORD attributes = GetFileAttributesA(to.c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesA(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            if (MoveFileExA(from.c_str(), to.c_str(), flags))
                return;
            code = GetLastError();
            SetFileAttributesA(to.c_str(), attributes);
        }
        Fail("Cannot move '" + from + "' over", to, code);
    }
    void KeepCopy(const std::string& existing, const std::string& copy) override {
        if (CreateHardLinkA(copy.c_str(), existing.c_str(), nullptr))
            return;
        DWORD code = GetLastError();
        // FAT volumes and network shares may have no hard links: copy instead.
        if (code != ERROR_INVALID_FUNCTION && code != ERROR_NOT_SUPPORTED &&
            code != ERROR_NOT_SAME_DEVICE && code != ERROR_TOO_MANY_LINKS && code != ERROR_ACCESS_DENIED)
            Fail("Cannot keep a copy of '" + existing + "' as", copy, code);
        CopyDurably(existing, copy);
    }
    // MOVEFILE_WRITE_THROUGH and NTFS's own journal already make renames durable.
    void FlushFolder(const std::string&) override {}
    void Remove(const std::string& path) override {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!DeleteFileA(path.c_str())) {
            DWORD code = GetLastError();
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(path.c_str(), attributes);
            Fail("Cannot delete", path, code);
        }
    }
    void MakeFolder(const std::string& path) override {
        if (!CreateDirectoryA(path.c_str(), nullptr))
            Fail("Cannot create the folder", path);
    }
    void RemoveFolder(const std::string& path) override {
        if (!RemoveDirectoryA(path.c_str()))
            Fail("Cannot remove the folder", path);
    }
    void ReplaceAtRestart(const std::string& from, const std::string& to) override {
        if (!MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING))
            Fail("Cannot schedule the replacement at restart of", to);
    }
    void DeleteAtRestart(const std::string& path) override {
        if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            Fail("Cannot schedule the deletion at restart of", path);
    }
    std::vector<std::string> ListFiles(const std::string& folder) override {
        std::vector<std::string> out;
        List(folder, "", out);
        std::sort(out.begin(), out.end());
        return out;
    }
    char Separator() const override { return '\\'; }

  private:
    void List(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(Join(folder, "*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            Fail("Cannot list the folder", folder);
        struct TFindCloser {
            HANDLE h;
            ~TFindCloser() { FindClose(h); }
        } closer{find};
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                List(Join(folder, name), prefix + name + "\\", out);
            else
                out.push_back(prefix + name);
        } while (FindNextFileA(find, &data));
        DWORD code = GetLastError();
        if (code != ERROR_NO_MORE_FILES)
            Fail("Cannot list the folder", folder, code);
    }
};

} // namespace

TPatchFiles& SystemPatchFiles() {
    static TWindowsPatchFiles files;
    return files;
}

} // namespace oru::patch
