// Shared pieces of the engine tests: a scratch tree on disk with snapshots, a
// callback recorder with scriptable replies, and file operations that fail on
// demand or pretend that files are held by another program.
#pragma once

#include "engine/PatchBuilder.h"
#include "engine/PatchCallbacks.h"
#include "engine/PatchFilesX.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace oru::test {

namespace fs = std::filesystem;

class TScratch {
  public:
    explicit TScratch(const std::string& tag);
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    std::string Path(const std::string& relative = "") const; // native form
    void Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Every file below relative, keyed by "/"-separated path, with its content.
    std::map<std::string, std::string> Snapshot(const std::string& relative) const;
    void Copy(const std::string& from, const std::string& to) const;

  private:
    fs::path root_;
};

// Deterministic pseudo-random bytes, so deltas have something to find.
std::string Noise(size_t size, uint32_t seed);

// Builds a patch from two trees under scratch (both through the real files).
std::string MakePatch(const TScratch& s, const std::string& oldDir, const std::string& newDir,
                      const std::vector<std::string>& groups = {}, bool allowDelta = true);

struct TCall {
    uint32_t Id;
    std::string Text; // the text, or for 19/20 "name|text", for 5 and 6 the number
};

// Records every callback and answers as a host following the contract would;
// Override may replace any reply (return true to use *reply).
class TRecorder {
  public:
    std::function<bool(const TCall& call, size_t index, void** reply)> Override;
    std::string MissingFolderAnswer; // reply to 20; empty = null (abort)

    void* operator()(uint32_t id, void* parm);
    oru::patch::TPatchCallback Callback() {
        return [this](uint32_t id, void* parm) { return (*this)(id, parm); };
    }

    std::vector<uint32_t> Ids() const;
    size_t Count(uint32_t id) const;
    bool HasText(uint32_t id, const std::string& fragment) const;
    std::vector<TCall> Calls;
};

// Forwards to the platform's own operations, except that:
// - the FailAt-th changing operation (counted from 1; 0 = never) throws once,
// - renaming a file named in InUse away, or replacing it, throws a sharing violation,
// - restart requests are recorded, not made (FailRestart makes them throw).
class TFaultyFiles : public oru::patch::TPatchFiles {
  public:
    int FailAt = 0;
    int Operations = 0;
    bool Failed = false;
    bool FailRestart = false;
    std::set<std::string> InUse; // native paths
    std::vector<std::pair<std::string, std::string>> ReplacedAtRestart;
    std::vector<std::string> DeletedAtRestart;
    // Called before each changing operation with its number; a kill test ends the
    // process here.
    std::function<void(int operation, const std::string& what)> BeforeStep;

    oru::patch::TFileState Query(const std::string& path) override { return real_.Query(path); }
    std::unique_ptr<TStream> OpenRead(const std::string& path) override {
        return real_.OpenRead(path);
    }
    std::unique_ptr<TStream> CreateNew(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    void ReplaceFile(const std::string& from, const std::string& to) override;
    void KeepCopy(const std::string& existing, const std::string& copy) override;
    void FlushFolder(const std::string& folder) override { real_.FlushFolder(folder); }
    void Remove(const std::string& path) override;
    void MakeFolder(const std::string& path) override;
    void RemoveFolder(const std::string& path) override;
    void ReplaceAtRestart(const std::string& from, const std::string& to) override;
    void DeleteAtRestart(const std::string& path) override;
    std::vector<std::string> ListFiles(const std::string& folder) override {
        return real_.ListFiles(folder);
    }
    char Separator() const override { return real_.Separator(); }

    void Step(const std::string& what); // counts one changing operation, maybe failing it

  private:
    oru::patch::TPatchFiles& real_ = oru::patch::SystemPatchFiles();
};

} // namespace oru::test
