// The file operations a patch run needs, behind one small interface so that the
// transaction logic stays platform-neutral and tests can inject failures. The
// platform's own implementation is chosen by the build (Windows or POSIX half).
#pragma once

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace oru::patch {

// A failed file operation. InUse marks a sharing or lock violation: another
// program holds the file, which is the one failure a restart can cure.
class EPatchFileError : public Exception {
  public:
    EPatchFileError(std::string message, bool inUse = false)
        : Exception(std::move(message)), InUse(inUse) {}
    bool InUse;
};

struct TFileState {
    bool Exists = false;
    bool IsFolder = false;
    uint64_t Size = 0;
};

class TPatchFiles {
  public:
    virtual ~TPatchFiles() = default;

    virtual TFileState Query(const std::string& path) = 0;
    // Reading shares only with other readers, so nobody changes a file while it is hashed.
    virtual std::unique_ptr<TStream> OpenRead(const std::string& path) = 0;
    // Read/write; fails when anything of that name exists, so nothing is ever overwritten.
    virtual std::unique_ptr<TStream> CreateNew(const std::string& path) = 0;
    // Never replaces an existing file.
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    // from takes to's place in one step, so that to is never missing: to is wholly
    // its old or wholly its new content at every instant. Written through to disk.
    virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;
    // Makes copy a second name for existing's content (a hard link where the volume
    // has them, else a copy flushed to disk); copy must not exist.
    virtual void KeepCopy(const std::string& existing, const std::string& copy) = 0;
    // Makes the folder's entries (names created, renamed, removed) durable.
    virtual void FlushFolder(const std::string& folder) = 0;
    // Also removes read-only files.
    virtual void Remove(const std::string& path) = 0;
    virtual void MakeFolder(const std::string& path) = 0;
    virtual void RemoveFolder(const std::string& path) = 0; // empty folders only
    // Registered with the system for the next restart.
    virtual void ReplaceAtRestart(const std::string& from, const std::string& to) = 0;
    virtual void DeleteAtRestart(const std::string& path) = 0;
    // Every file below folder, recursively, as relative paths with "\" separators.
    virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
    virtual char Separator() const = 0;

    // A copy of existing, flushed to disk; copy must not exist. KeepCopy's way
    // where the volume has no hard links.
    void CopyDurably(const std::string& existing, const std::string& copy);

    // folder + relative, where relative uses "\" separators; an empty folder
    // leaves the relative path as it is.
    std::string Join(const std::string& folder, const std::string& relative) const;
};

// The platform's own implementation.
TPatchFiles& SystemPatchFiles();

// Case-insensitive key for comparing paths the way Windows does.
std::string PathKey(const std::string& path);

} // namespace oru::patch
