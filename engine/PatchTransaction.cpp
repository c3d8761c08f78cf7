#include "engine/PatchTransaction.h"

#include "engine/PatchRecovery.h"

namespace oru::patch {

TPatchTransaction::TPatchTransaction(TPatchFiles& files, const std::string& journalPath,
                                     const std::string& folder, const std::string& patchFile)
    : files_(files), journal_(files, journalPath, folder, patchFile) {
    reserved_.insert(PathKey(journalPath));
}

TPatchTransaction::~TPatchTransaction() {
    if (!finished_) {
        try {
            Rollback();
        } catch (...) {
        }
    }
}

void TPatchTransaction::Record(const TJournalRecord& record) {
    // Written before the step it describes, so the journal names all that may exist.
    journal_.Append(record);
    records_.push_back(record);
}

void TPatchTransaction::Reserve(const std::string& path) { reserved_.insert(PathKey(path)); }

std::string TPatchTransaction::FreeName(const std::string& target, const char* suffix) {
    for (int n = 0; n < 1000; ++n) {
        std::string name = target + suffix + (n ? std::to_string(n) : std::string());
        if (!reserved_.count(PathKey(name)) && !files_.Query(name).Exists) {
            reserved_.insert(PathKey(name));
            return name;
        }
    }
    throw EPatchFileError("No free name for a temporary file beside '" + target + "'");
}

void TPatchTransaction::EnsureFolders(const std::string& base, const std::string& relative) {
    std::string current = base;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('\\', start);
        std::string part =
            relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
        current = files_.Join(current, part);
        TFileState state = files_.Query(current);
        if (!state.Exists) {
            Record({TJournalKind::Folder, current, {}, {}, {}});
            files_.MakeFolder(current);
        } else if (!state.IsFolder) {
            throw EPatchFileError("Cannot create the folder '" + current +
                                  "': a file has that name");
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

std::string TPatchTransaction::CreateTemporary(const std::string& target,
                                               std::unique_ptr<TStream>& stream) {
    std::string name = FreeName(target, ".~oru-new");
    Record({TJournalKind::Temporary, name, {}, {}, {}});
    stream = files_.CreateNew(name);
    return name;
}

size_t TPatchTransaction::Plan(TSwapAction action, const std::string& target,
                               const std::string& temporary, const TSha256Digest& hash) {
    TJournalRecord r;
    r.Target = target;
    r.Temporary = temporary;
    r.Hash = hash;
    switch (action) {
    case TSwapAction::Replace:
        r.Kind = TJournalKind::Replace;
        r.Backup = FreeName(target, ".~oru-old");
        break;
    case TSwapAction::Add:
        r.Kind = TJournalKind::Add;
        break;
    case TSwapAction::Delete:
        r.Kind = TJournalKind::Delete;
        r.Backup = FreeName(target, ".~oru-old");
        break;
    }
    Record(r);
    swaps_.push_back(records_.size() - 1);
    return swaps_.size() - 1;
}

void TPatchTransaction::BeginSwaps() { journal_.Flush(); }

TSwapOutcome TPatchTransaction::Swap(size_t swap) {
    const TJournalRecord r = records_[swaps_.at(swap)];
    switch (r.Kind) {
    case TJournalKind::Replace:
        try {
            // The backup exists before the target changes, so an undo always has it.
            files_.KeepCopy(r.Target, r.Backup);
            files_.ReplaceFile(r.Temporary, r.Target);
        } catch (const EPatchFileError& e) {
            if (!e.InUse)
                throw;
            queued_.push_back({r.Target, r.Temporary});
            return TSwapOutcome::AtRestart;
        }
        return TSwapOutcome::Done;
    case TJournalKind::Add:
        files_.Rename(r.Temporary, r.Target);
        return TSwapOutcome::Done;
    case TJournalKind::Delete:
        try {
            files_.Rename(r.Target, r.Backup);
        } catch (const EPatchFileError& e) {
            if (!e.InUse)
                throw;
            queued_.push_back({r.Target, {}});
            return TSwapOutcome::AtRestart;
        }
        return TSwapOutcome::Done;
    default:
        throw EPatchFileError("Not a swap");
    }
}

std::vector<std::string> TPatchTransaction::Commit() {
    if (!queued_.empty()) {
        // Recorded first: once one is registered the run can only be finished,
        // since a recovery cannot take back what the restart will do.
        for (const TQueued& q : queued_)
            Record({TJournalKind::Queued, q.Target, q.Temporary, {}, {}});
        journal_.Flush();
        // Replacements first: undoing one only needs its temporary gone, whereas a
        // registered deletion cannot be taken back, so deletions come last.
        for (const TQueued& q : queued_)
            if (!q.Temporary.empty())
                files_.ReplaceAtRestart(q.Temporary, q.Target);
        for (const TQueued& q : queued_)
            if (q.Temporary.empty())
                files_.DeleteAtRestart(q.Target);
        Record({TJournalKind::Registered, {}, {}, {}, {}});
    }
    Record({TJournalKind::Commit, {}, {}, {}, {}});
    journal_.Flush();
    finished_ = true;
    std::vector<std::string> failures;
    std::vector<std::string> warnings = FinishRecords(files_, records_, false, failures);
    warnings.insert(warnings.end(), failures.begin(), failures.end());
    try {
        if (failures.empty())
            journal_.Discard();
    } catch (const EPatchFileError& e) {
        warnings.push_back("The journal '" + journal_.Path() + "' could not be deleted: " + e.Message());
    }
    return warnings;
}

std::vector<std::string> TPatchTransaction::Rollback() {
    finished_ = true;
    try {
        // Should this undo be cut short, the next run must go on undoing, even
        // past a commit point the journal already holds.
        Record({TJournalKind::Undo, {}, {}, {}, {}});
        journal_.Flush();
    } catch (const Exception&) {
        // The undo matters more than the record of it.
    }
    std::vector<std::string> failures = UndoRecords(files_, records_);
    if (failures.empty()) {
        try {
            journal_.Discard();
        } catch (const Exception& e) {
            warnings_.push_back("The journal '" + journal_.Path() + "' could not be deleted: " + e.Message());
        }
    }
    return failures;
}

} // namespace oru::patch
