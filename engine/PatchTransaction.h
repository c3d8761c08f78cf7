// All-or-nothing changes to a set of files. Every step is recorded as it happens
// so that Rollback can undo exactly what was done, in reverse order: new files are
// built under temporary names beside their targets, old files are kept as backups
// until Commit, and files another program holds are left for the next restart.
#pragma once

#include "engine/PatchFilesX.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace oru::patch {

enum class TSwapOutcome { Done, AtRestart };

class TPatchTransaction {
  public:
    explicit TPatchTransaction(TPatchFiles& files);
    // Rolls back when neither Commit nor Rollback ran (never throws).
    ~TPatchTransaction();
    TPatchTransaction(const TPatchTransaction&) = delete;
    TPatchTransaction& operator=(const TPatchTransaction&) = delete;

    // Names that temporaries and backups must never take (the patch's own targets).
    void Reserve(const std::string& path);
    // Creates the missing folders of relative (a "\" separated folder path) below base.
    void EnsureFolders(const std::string& base, const std::string& relative);
    // A new, empty file beside target; returns its name and the open stream.
    std::string CreateTemporary(const std::string& target, std::unique_ptr<TStream>& stream);
    // temporary takes target's place; the old target is kept as a backup.
    TSwapOutcome Replace(const std::string& target, const std::string& temporary);
    // temporary becomes target, which does not exist.
    void Install(const std::string& target, const std::string& temporary);
    // target goes away (kept as a backup until Commit).
    TSwapOutcome Remove(const std::string& target);

    // Registers the restart work and removes the backups. When registration fails
    // the exception passes and the caller rolls back; a backup that cannot be
    // removed only gives a warning. Returns the warnings.
    std::vector<std::string> Commit();
    // Undoes every recorded step; returns a text per step that could not be undone.
    std::vector<std::string> Rollback();

    bool Finished() const { return finished_; }

  private:
    enum class TStepKind {
        FolderCreated,
        TempCreated,
        MovedAside,
        MovedIn,
        ReplaceLater,
        DeleteLater
    };
    struct TStep {
        TStepKind Kind;
        std::string Path;  // the folder, temporary, target
        std::string Other; // the backup, or the temporary of a move
    };
    std::string FreeName(const std::string& target, const char* suffix);

    TPatchFiles& files_;
    std::vector<TStep> steps_;
    std::set<std::string> reserved_;
    bool finished_ = false;
};

} // namespace oru::patch
