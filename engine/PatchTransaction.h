// All-or-nothing changes to a set of files, journaled so that a run cut short at
// any instant is finished or undone by the next one. New files are built under
// temporary names beside their targets and flushed; then every swap is written to
// the journal and the journal flushed; only then are the swaps made, each in one
// step that never leaves a target missing. Old contents are kept as backups
// until the commit, and files another program holds are left for the restart.
#pragma once

#include "engine/PatchJournal.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace oru::patch {

enum class TSwapOutcome { Done, AtRestart };
enum class TSwapAction { Replace, Add, Delete };

class TPatchTransaction {
  public:
    // Starts the journal at journalPath (which must not exist) for a run over folder.
    TPatchTransaction(TPatchFiles& files, const std::string& journalPath, const std::string& folder,
                      const std::string& patchFile);
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

    // Records a swap (temporary is empty for a deletion; hash is the content the
    // target has after a replacement or addition, before a deletion). No swap is
    // made before BeginSwaps. Returns the swap's number.
    size_t Plan(TSwapAction action, const std::string& target, const std::string& temporary,
                const TSha256Digest& hash);
    // Makes the journal durable: from here on a recovery can finish or undo every swap.
    void BeginSwaps();
    TSwapOutcome Swap(size_t swap);

    // Registers the restart work, passes the commit point and removes the backups
    // and the journal. When registration fails the exception passes and the caller
    // rolls back; a backup that cannot be removed only gives a warning. Returns the
    // warnings.
    std::vector<std::string> Commit();
    // Undoes every recorded step; returns a text per step that could not be undone.
    // The journal stays when something could not be undone, for the next run.
    std::vector<std::string> Rollback();

    bool Finished() const { return finished_; }
    // What went wrong without harming the files (a journal that could not be deleted
    // is the next run's to remove).
    const std::vector<std::string>& Warnings() const { return warnings_; }

  private:
    struct TQueued {
        std::string Target, Temporary; // Temporary empty: deleted at restart
    };
    std::string FreeName(const std::string& target, const char* suffix);
    void Record(const TJournalRecord& record);

    TPatchFiles& files_;
    TJournalWriter journal_;
    std::vector<TJournalRecord> records_;
    std::vector<size_t> swaps_; // indexes of the swap records in records_
    std::vector<TQueued> queued_;
    std::set<std::string> reserved_;
    std::vector<std::string> warnings_;
    bool finished_ = false;
};

} // namespace oru::patch
