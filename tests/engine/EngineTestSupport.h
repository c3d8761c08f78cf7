// Shared pieces of the engine tests: trees with their folders, a callback recorder
// with scriptable replies, and file operations that fail on demand or pretend that
// files are held by another program.
#pragma once

#include "engine/PatchBuilder.h"
#include "engine/PatchCallbacks.h"
#include "engine/PatchFilesX.h"
#include "support/Files.h"
#include "support/Scratch.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace oru::test {

namespace fs = std::filesystem;
using namespace oru::patch;

// Every file below relative with its content, and every folder as "name/": a
// folder left behind by an undone run shows as a difference.
inline std::map<std::string, std::string> Tree(const TScratch& s, const std::string& relative) {
    const fs::path root = s.File(relative);
    auto tree = SnapshotTree(root);
    for (const std::string& name : ListTree(root))
        if (fs::is_directory(root / name))
            tree[name + "/"];
    return tree;
}

// Deterministic pseudo-random bytes, so deltas have something to find.
inline std::string Noise(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Builds s's "patch.rtp" from two trees under s (both through the real files).
inline std::string MakePatch(const TScratch& s, const std::string& oldDir, const std::string& newDir,
                      const std::vector<std::string>& groups = {}) {
    TBuildOptions options;
    for (const auto& g : groups)
        options.Groups.push_back(ParseGroupDefinition(g));
    BuildPatch(SystemPatchFiles(), s.File(oldDir), s.File(newDir), s.File("patch.rtp"), options);
    return s.File("patch.rtp");
}

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
    std::vector<TCall> Calls;

    void* operator()(uint32_t id, void* parm);
    oru::patch::TPatchCallback Callback() {
        return [this](uint32_t id, void* parm) { return (*this)(id, parm); };
    }
    std::vector<uint32_t> Ids() const;
    size_t Count(uint32_t id) const;
    bool HasText(uint32_t id, const std::string& fragment) const;
};

// Forwards to the platform's own operations, except that:
// - the FailAt-th changing operation (counted from 1; 0 = never) throws once,
// - renaming a file named in InUse away, or replacing it, throws a sharing violation,
// - restart requests are recorded, not made (FailRestart makes them throw).
// Every write counts as a changing operation, so a full disk mid-file is covered too.
class TFaultyFiles : public oru::patch::TPatchFiles {
    using S = const std::string&;

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
    std::function<void(int operation, S what)> BeforeStep;

    void Step(S what);
    oru::patch::TFileState Query(S path) override { return real_.Query(path); }
    std::unique_ptr<TStream> OpenRead(S path) override { return real_.OpenRead(path); }
    std::unique_ptr<TStream> CreateNew(S path) override;
    void Rename(S from, S to) override {
        Held(from);
        Step("rename " + from);
        real_.Rename(from, to);
    }
    void ReplaceFile(S from, S to) override {
        Held(to);
        Step("replace " + to);
        real_.ReplaceFile(from, to);
    }
    void KeepCopy(S from, S copy) override { Step("copy " + from); real_.KeepCopy(from, copy); }
    void FlushFolder(S folder) override { real_.FlushFolder(folder); }
    void Remove(S path) override { Step("remove " + path); real_.Remove(path); }
    void MakeFolder(S path) override { Step("make folder " + path); real_.MakeFolder(path); }
    void RemoveFolder(S path) override { Step("remove folder " + path); real_.RemoveFolder(path); }
    void ReplaceAtRestart(S from, S to) override { Queue(); ReplacedAtRestart.emplace_back(from, to); }
    void DeleteAtRestart(S path) override { Queue(); DeletedAtRestart.push_back(path); }
    std::vector<std::string> ListFiles(S folder) override { return real_.ListFiles(folder); }
    char Separator() const override { return real_.Separator(); }

  private:
    void Held(S path) const;
    void Queue() const;
    oru::patch::TPatchFiles& real_ = oru::patch::SystemPatchFiles();
};
inline void* TRecorder::operator()(uint32_t id, void* parm) {
    static char empty[] = "", combine[] = "COMBINE";
    TCall call{id, {}};
    if (id == cbGroup || id == cbGroupMissing) {
        auto** texts = static_cast<const char**>(parm);
        call.Text = std::string(texts[0]) + "|" + texts[1];
    } else if (id == cbProgress) {
        call.Text = std::to_string(*static_cast<uint16_t*>(parm));
    } else if (id == cbFileCount) {
        call.Text = std::to_string(*static_cast<int32_t*>(parm));
    } else if (parm &&
               ((id >= 1 && id <= 4) || (id >= 7 && id <= 11 && id != 8) || id == 13 || id == 14)) {
        call.Text = static_cast<const char*>(parm);
    }
    Calls.push_back(call);
    void* reply = nullptr;
    if (Override && Override(call, Calls.size() - 1, &reply))
        return reply;
    switch (id) {
    case cbFileCount:
        return combine;
    case cbGroup:
        return reinterpret_cast<void*>(kApplyGroupReply);
    case cbGroupMissing:
        return MissingFolderAnswer.empty() ? nullptr : MissingFolderAnswer.data();
    case cbPatchMissing:
    case cbPatchInvalid:
        return nullptr;
    default:
        return empty;
    }
}

inline std::vector<uint32_t> TRecorder::Ids() const {
    std::vector<uint32_t> ids;
    for (const auto& c : Calls)
        ids.push_back(c.Id);
    return ids;
}

inline size_t TRecorder::Count(uint32_t id) const {
    return std::count_if(Calls.begin(), Calls.end(), [&](const TCall& c) { return c.Id == id; });
}

inline bool TRecorder::HasText(uint32_t id, const std::string& fragment) const {
    return std::any_of(Calls.begin(), Calls.end(),
                       [&](const TCall& c) { return c.Id == id && c.Text.find(fragment) != std::string::npos; });
}

inline void TFaultyFiles::Step(const std::string& what) {
    ++Operations;
    if (BeforeStep)
        BeforeStep(Operations, what);
    if (!Failed && Operations == FailAt) {
        Failed = true;
        throw EPatchFileError("Injected failure: " + what);
    }
}

inline void TFaultyFiles::Held(const std::string& path) const {
    if (InUse.count(path))
        throw EPatchFileError("Injected sharing violation: " + path, true);
}

inline void TFaultyFiles::Queue() const {
    if (FailRestart)
        throw EPatchFileError("Injected: no restart queue");
}

namespace detail {
class TFaultyStream : public TStream {
  public:
    TFaultyStream(std::unique_ptr<TStream> inner, TFaultyFiles& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    int32_t Read(void* b, int32_t n) override { return inner_->Read(b, n); }
    int32_t Write(const void* b, int32_t n) override {
        owner_.Step("write");
        return inner_->Write(b, n);
    }
    int64_t Seek(int64_t o, SeekOrigin r) override { return inner_->Seek(o, r); }
    int64_t GetSize() override { return inner_->GetSize(); }
    void SetSize(int64_t s) override { inner_->SetSize(s); }
    void Flush() override { inner_->Flush(); }

  private:
    std::unique_ptr<TStream> inner_;
    TFaultyFiles& owner_;
};
} // namespace detail

inline std::unique_ptr<TStream> TFaultyFiles::CreateNew(const std::string& path) {
    Step("create " + path);
    return std::make_unique<detail::TFaultyStream>(real_.CreateNew(path), *this);
}

} // namespace oru::test
