// The patch engine: reads a patch file, asks the host through callbacks which
// groups to apply and where they live, checks every file before touching any,
// and then changes all of them or none.
#pragma once

#include "engine/PatchCallbacks.h"
#include "engine/PatchFilesX.h"
#include "engine/PatchFormat.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace oru::patch {

class TPatchTransaction;

struct TEngineOptions {
    // Check the files and report, change nothing.
    bool VerifyOnly = false;
    // Bytes of work between two idle callbacks.
    uint64_t IdleInterval = 1u << 20;
};

class TPatchEngine {
  public:
    TPatchEngine(TPatchFiles& files, TPatchCallback callback, TEngineOptions options = {});
    ~TPatchEngine();

    // The whole run for an engine command line; never throws.
    uint32_t Run(const std::string& commandLine) noexcept;
    // The same with the two paths given directly.
    uint32_t Apply(const std::string& targetFolder, const std::string& patchFile) noexcept;
    // Only finishes or undoes an interrupted run over targetFolder, without a patch.
    uint32_t RecoverOnly(const std::string& targetFolder) noexcept;

  private:
    struct TJob;
    template <class F> uint32_t Guard(F&& body) noexcept;
    uint32_t Execute(const std::string& targetFolder, const std::string& patchFile);
    bool ResolveGroups(const std::string& targetFolder, std::vector<std::string>& folders,
                       std::vector<bool>& applied);
    bool Verify(std::vector<TJob>& jobs);
    uint32_t Change(std::vector<TJob>& jobs, TStream& patch);
    void Build(TJob& job, TStream& patch, TPatchTransaction& tx);
    bool IsFolder(const std::string& path);
    std::string JournalPath() const;
    // Finishes or undoes the run whose journal lies in the target folder; false
    // when that could not be done and the run must stop.
    bool Recover();
    TSha256Digest HashFile(const std::string& path);

    void* Call(uint32_t id, void* parm);                // a null reply throws the abort
    void CallQuietly(uint32_t id, void* parm) noexcept; // replies are ignored (after the decision)
    void Text(uint32_t id, const std::string& text);
    void TextQuietly(uint32_t id, const std::string& text) noexcept;
    void Idle(uint64_t bytes);
    void Progress(uint16_t value);

    TPatchFiles& files_;
    TPatchCallback callback_;
    TEngineOptions options_;
    TPatchDirectory dir_;
    std::string targetFolder_;
    std::string patchFile_;
    uint64_t idleBytes_ = 0;
    bool aborted_ = false;
    int lastProgressStep_ = -1;
};

} // namespace oru::patch
