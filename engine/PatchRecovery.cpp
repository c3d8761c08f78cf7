#include "engine/PatchRecovery.h"

#include <algorithm>
#include <set>

namespace oru::patch {

namespace {

bool Exists(TPatchFiles& files, const std::string& path) {
    TFileState state = files.Query(path);
    return state.Exists && !state.IsFolder;
}

bool HasContent(TPatchFiles& files, const std::string& path, const TSha256Digest& hash) {
    return DigestOfFile(files, path) == hash;
}

bool StartsWith(const std::string& name, const std::string& target, const char* suffix) {
    std::string prefix = PathKey(target + suffix);
    return PathKey(name).compare(0, prefix.size(), prefix) == 0;
}

// A backup that cannot go now goes at the next restart.
void RemoveBackup(TPatchFiles& files, const std::string& backup, std::vector<std::string>& warnings) {
    if (!Exists(files, backup))
        return;
    try {
        files.Remove(backup);
    } catch (const EPatchFileError& e) {
        try {
            files.DeleteAtRestart(backup);
            warnings.push_back("The old file '" + backup + "' is in use; it will be deleted at restart.");
        } catch (const EPatchFileError&) {
            warnings.push_back("The old file '" + backup + "' could not be deleted: " + e.Message());
        }
    }
}

} // namespace

TSha256Digest DigestOfFile(TPatchFiles& files, const std::string& path,
                           const std::function<void(uint64_t)>& onRead) {
    auto in = files.OpenRead(path);
    TSha256 sha;
    std::vector<uint8_t> buffer(256 * 1024);
    for (;;) {
        int32_t n = in->Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0)
            break;
        sha.Update(buffer.data(), static_cast<size_t>(n));
        if (onRead)
            onRead(static_cast<uint64_t>(n));
    }
    return sha.Final();
}

std::vector<std::string> UndoRecords(TPatchFiles& files, const std::vector<TJournalRecord>& records) {
    std::vector<std::string> failures;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const TJournalRecord& r = *it;
        try {
            switch (r.Kind) {
            case TJournalKind::Folder:
                if (files.Query(r.Target).Exists)
                    files.RemoveFolder(r.Target);
                break;
            case TJournalKind::Temporary:
                if (Exists(files, r.Target))
                    files.Remove(r.Target);
                break;
            case TJournalKind::Replace:
                // The swap consumes the temporary: while it exists, the target is old.
                if (Exists(files, r.Temporary)) {
                    if (Exists(files, r.Backup))
                        files.Remove(r.Backup);
                } else if (Exists(files, r.Backup)) {
                    files.ReplaceFile(r.Backup, r.Target);
                } else if (!Exists(files, r.Target)) {
                    failures.push_back("'" + r.Target + "' could not be restored: its old content is gone.");
                }
                break;
            case TJournalKind::Add:
                // Only the file the run added goes, never one that replaced it since.
                if (!Exists(files, r.Temporary) && Exists(files, r.Target)) {
                    if (HasContent(files, r.Target, r.Hash))
                        files.Remove(r.Target);
                    else
                        failures.push_back("'" + r.Target + "' was changed after the update added it; it is left as it is.");
                }
                break;
            case TJournalKind::Delete:
                if (Exists(files, r.Backup)) {
                    if (Exists(files, r.Target))
                        failures.push_back("'" + r.Target + "' could not be restored: a file of that name exists; the original is kept as '" + r.Backup + "'.");
                    else
                        files.Rename(r.Backup, r.Target);
                }
                break;
            case TJournalKind::Commit:
            case TJournalKind::Queued:
            case TJournalKind::Registered:
            case TJournalKind::Undo:
                break;
            }
        } catch (const Exception& e) {
            if (r.Kind == TJournalKind::Replace || r.Kind == TJournalKind::Delete)
                failures.push_back("'" + r.Target + "' could not be restored; the original is kept as '" + r.Backup + "': " + e.Message());
            else
                failures.push_back(e.Message());
        }
    }
    return failures;
}

std::vector<std::string> FinishRecords(TPatchFiles& files, const std::vector<TJournalRecord>& records,
                                       bool registerQueue, std::vector<std::string>& failures) {
    std::vector<std::string> warnings;
    std::set<std::string> queued; // temporaries (or, for deletions, targets) Windows will see to
    for (const TJournalRecord& r : records)
        if (r.Kind == TJournalKind::Queued)
            queued.insert(PathKey(r.Temporary.empty() ? r.Target : r.Temporary));
    auto isQueued = [&](const std::string& path) { return queued.count(PathKey(path)) != 0; };

    for (const TJournalRecord& r : records) {
        try {
            switch (r.Kind) {
            case TJournalKind::Replace:
                if (!isQueued(r.Temporary) && Exists(files, r.Temporary))
                    files.ReplaceFile(r.Temporary, r.Target);
                RemoveBackup(files, r.Backup, warnings);
                break;
            case TJournalKind::Add:
                if (Exists(files, r.Temporary) && !Exists(files, r.Target))
                    files.Rename(r.Temporary, r.Target);
                break;
            case TJournalKind::Delete:
                if (!isQueued(r.Target) && Exists(files, r.Target) && HasContent(files, r.Target, r.Hash))
                    files.Remove(r.Target);
                RemoveBackup(files, r.Backup, warnings);
                break;
            case TJournalKind::Queued:
                if (!registerQueue)
                    break;
                if (!r.Temporary.empty()) {
                    if (Exists(files, r.Temporary))
                        files.ReplaceAtRestart(r.Temporary, r.Target);
                } else if (Exists(files, r.Target)) {
                    files.DeleteAtRestart(r.Target);
                }
                break;
            default:
                break;
            }
        } catch (const Exception& e) {
            failures.push_back("'" + r.Target + "' could not be updated: " + e.Message());
        }
    }
    // What is left of the temporaries is what no swap took, and no restart will.
    for (const TJournalRecord& r : records) {
        if (r.Kind != TJournalKind::Temporary || isQueued(r.Target) || !Exists(files, r.Target))
            continue;
        try {
            files.Remove(r.Target);
        } catch (const Exception& e) {
            warnings.push_back("The temporary file '" + r.Target + "' could not be deleted: " + e.Message());
        }
    }
    return warnings;
}

void CheckJournalNames(const TJournal& journal) {
    for (const TJournalRecord& r : journal.Records) {
        bool ok = true;
        switch (r.Kind) {
        case TJournalKind::Replace:
            ok = StartsWith(r.Temporary, r.Target, ".~oru-new") && StartsWith(r.Backup, r.Target, ".~oru-old");
            break;
        case TJournalKind::Add:
            ok = StartsWith(r.Temporary, r.Target, ".~oru-new");
            break;
        case TJournalKind::Delete:
            ok = StartsWith(r.Backup, r.Target, ".~oru-old");
            break;
        case TJournalKind::Temporary:
            ok = PathKey(r.Target).find(".~oru-new") != std::string::npos;
            break;
        case TJournalKind::Queued:
            ok = r.Temporary.empty() || StartsWith(r.Temporary, r.Target, ".~oru-new");
            break;
        default:
            break;
        }
        if (!ok)
            throw EJournalError("it names '" + (r.Temporary.empty() ? r.Backup : r.Temporary) +
                                "', which is not a temporary or backup of '" + r.Target + "'");
    }
}

TRecoveryOutcome RecoverRun(TPatchFiles& files, const std::string& path, const std::string& folder) {
    TJournal journal;
    try {
        auto in = files.OpenRead(path);
        journal = ReadJournal(*in);
    } catch (const EPatchFileError& e) {
        throw EJournalError(e.InUse ? "another update of this folder is running" : e.Message());
    }
    std::string here = files.Join(folder, "");
    if (!journal.Records.empty() && PathKey(files.Join(journal.Folder, "")) != PathKey(here))
        throw EJournalError("it belongs to the folder '" + journal.Folder + "'");
    CheckJournalNames(journal);

    TRecoveryOutcome outcome;
    outcome.Finished = journal.Finishes();
    if (outcome.Finished)
        outcome.Warnings = FinishRecords(files, journal.Records, !journal.Has(TJournalKind::Registered),
                                         outcome.Failures);
    else
        outcome.Failures = UndoRecords(files, journal.Records);
    if (outcome.Failures.empty())
        files.Remove(path);
    return outcome;
}

} // namespace oru::patch
