// Finishing or undoing the swaps a journal names. The in-process rollback and the
// next run's recovery share this code: each step looks at which files exist, so
// it is right whether the swap it undoes was made, half made or never begun, and
// running it again after an interruption is harmless.
#pragma once

#include "engine/PatchJournal.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace oru::patch {

// The SHA-256 of a file's content; onRead hears of each block read.
TSha256Digest DigestOfFile(TPatchFiles& files, const std::string& path,
                           const std::function<void(uint64_t)>& onRead = nullptr);

// Puts every file back as it was before the run; returns a text per file that
// could not be restored.
std::vector<std::string> UndoRecords(TPatchFiles& files, const std::vector<TJournalRecord>& records);

// Completes a run past its commit point: swaps left undone are made, temporaries
// and backups go, and queued work not yet registered is registered. Returns the
// warnings; failures lists what could not be completed.
std::vector<std::string> FinishRecords(TPatchFiles& files, const std::vector<TJournalRecord>& records,
                                       bool registerQueue, std::vector<std::string>& failures);

// Refuses a journal whose records name files that a run of ours never makes:
// temporaries and backups are named after their targets.
void CheckJournalNames(const TJournal& journal);

struct TRecoveryOutcome {
    bool Finished = false; // else undone
    std::vector<std::string> Warnings;
    std::vector<std::string> Failures; // the journal is kept when there are any
};

// Finishes or undoes the run whose journal lies at path, then deletes the journal
// unless something failed. Raises EJournalError when the journal cannot be
// trusted, before anything is changed.
TRecoveryOutcome RecoverRun(TPatchFiles& files, const std::string& path, const std::string& folder);

} // namespace oru::patch
