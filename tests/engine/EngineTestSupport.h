// Shared pieces of the engine tests: trees with their folders, a callback recorder
// with scriptable replies, file operations that fail on demand or pretend that
// files are held by another program, and VCDIFF round trips and hand-built deltas.
#pragma once

#include "HandMadeBytes.h"
#include "engine/PatchBuilder.h"
#include "engine/PatchCallbacks.h"
#include "engine/PatchFilesX.h"
#include "engine/vcdiff/Vcdiff.h"
#include "support/Files.h"
#include "support/Noise.h"
#include "support/Scratch.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oru::test {

namespace fs = std::filesystem;

// Every file below relative with its content, and every folder as "name/": a
// folder left behind by an undone run shows as a difference.
std::map<std::string, std::string> Tree(const TScratch& s, const std::string& relative);

// Builds s's "patch.rtp" from two trees under s (both through the real files).
std::string MakePatch(const TScratch& s, const std::string& oldDir, const std::string& newDir,
                      const std::vector<std::string>& groups = {});

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
    void ReplaceAtRestart(S from, S to) override {
        Queue();
        ReplacedAtRestart.emplace_back(from, to);
    }
    void DeleteAtRestart(S path) override { Queue(); DeletedAtRestart.push_back(path); }
    std::vector<std::string> ListFiles(S folder) override { return real_.ListFiles(folder); }
    char Separator() const override { return real_.Separator(); }

  private:
    void Held(S path) const;
    void Queue() const;
    oru::patch::TPatchFiles& real_ = oru::patch::SystemPatchFiles();
};

// ---- VCDIFF ----

Bytes EncodeBytes(const Bytes& source, const Bytes& target,
                  const oru::vcdiff::EncodeOptions& options = {});
Bytes DecodeBytes(const Bytes& source, const Bytes& delta,
                  const oru::vcdiff::DecodeOptions& options = {});

inline Bytes RandomBytes(size_t n, uint32_t seed, unsigned alphabet = 256) {
    return Noise<Bytes>(n, seed, alphabet);
}
// Text-like bytes with many repeats (words drawn from a small vocabulary).
Bytes WordBytes(size_t n, uint32_t seed);

Bytes Varint(uint64_t v);
Bytes Concat(std::initializer_list<Bytes> parts);

// One window, written in the order the format lays it out.
struct WindowLayout {
    uint8_t indicator = 0; // VCD_SOURCE 1, VCD_TARGET 2, Adler-32 4
    uint64_t segLen = 0;
    uint64_t segPos = 0;
    uint64_t targetLen = 0;
    uint8_t deltaIndicator = 0;
    Bytes data, inst, addr;
    uint32_t adler = 0;                  // written when indicator has bit 4
    std::optional<uint64_t> deltaLength; // the correct length unless set
};

// The file header (with a header indicator) followed by windows.
Bytes BuildDelta(const std::vector<WindowLayout>& windows, uint8_t headerIndicator = 0);

} // namespace oru::test
