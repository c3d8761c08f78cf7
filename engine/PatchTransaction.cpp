// The undo log of a patch run.
#include "engine/PatchTransaction.h"

namespace oru::patch {

TPatchTransaction::TPatchTransaction(TPatchFiles& files) : files_(files) {}

TPatchTransaction::~TPatchTransaction() {
    if (!finished_) {
        try {
            Rollback();
        } catch (...) {
        }
    }
}

void TPatchTransaction::Reserve(const std::string& path) {
    reserved_.insert(PathKey(path));
}

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
            files_.MakeFolder(current);
            steps_.push_back({TStepKind::FolderCreated, current, {}});
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
    stream = files_.CreateNew(name);
    steps_.push_back({TStepKind::TempCreated, name, {}});
    return name;
}

TSwapOutcome TPatchTransaction::Replace(const std::string& target, const std::string& temporary) {
    std::string backup = FreeName(target, ".~oru-old");
    try {
        files_.Rename(target, backup);
    } catch (const EPatchFileError& e) {
        if (!e.InUse)
            throw;
        steps_.push_back({TStepKind::ReplaceLater, target, temporary});
        return TSwapOutcome::AtRestart;
    }
    steps_.push_back({TStepKind::MovedAside, target, backup});
    files_.Rename(temporary, target);
    steps_.push_back({TStepKind::MovedIn, target, temporary});
    return TSwapOutcome::Done;
}

void TPatchTransaction::Install(const std::string& target, const std::string& temporary) {
    files_.Rename(temporary, target);
    steps_.push_back({TStepKind::MovedIn, target, temporary});
}

TSwapOutcome TPatchTransaction::Remove(const std::string& target) {
    std::string backup = FreeName(target, ".~oru-old");
    try {
        files_.Rename(target, backup);
    } catch (const EPatchFileError& e) {
        if (!e.InUse)
            throw;
        steps_.push_back({TStepKind::DeleteLater, target, {}});
        return TSwapOutcome::AtRestart;
    }
    steps_.push_back({TStepKind::MovedAside, target, backup});
    return TSwapOutcome::Done;
}

std::vector<std::string> TPatchTransaction::Commit() {
    // Replacements first: undoing one only needs its temporary gone, whereas a
    // registered deletion cannot be taken back, so deletions come last.
    for (const TStep& s : steps_)
        if (s.Kind == TStepKind::ReplaceLater)
            files_.ReplaceAtRestart(s.Other, s.Path);
    for (const TStep& s : steps_)
        if (s.Kind == TStepKind::DeleteLater)
            files_.DeleteAtRestart(s.Path);
    finished_ = true;
    std::vector<std::string> warnings;
    for (const TStep& s : steps_) {
        if (s.Kind != TStepKind::MovedAside)
            continue;
        try {
            files_.Remove(s.Other);
        } catch (const EPatchFileError& e) {
            try {
                files_.DeleteAtRestart(s.Other);
                warnings.push_back("The old file '" + s.Other +
                                   "' is in use; it will be deleted at restart.");
            } catch (const EPatchFileError&) {
                warnings.push_back("The old file '" + s.Other +
                                   "' could not be deleted: " + e.Message());
            }
        }
    }
    steps_.clear();
    return warnings;
}

std::vector<std::string> TPatchTransaction::Rollback() {
    std::vector<std::string> failures;
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
        try {
            switch (it->Kind) {
            case TStepKind::FolderCreated:
                files_.RemoveFolder(it->Path);
                break;
            case TStepKind::TempCreated:
                if (files_.Query(it->Path).Exists)
                    files_.Remove(it->Path);
                break;
            case TStepKind::MovedAside:
                files_.Rename(it->Other, it->Path);
                break;
            case TStepKind::MovedIn:
                files_.Rename(it->Path, it->Other);
                break;
            case TStepKind::ReplaceLater:
            case TStepKind::DeleteLater:
                break; // nothing was registered yet
            }
        } catch (const Exception& e) {
            if (it->Kind == TStepKind::MovedAside)
                failures.push_back("'" + it->Path +
                                   "' could not be restored; the original is kept as '" +
                                   it->Other + "': " + e.Message());
            else
                failures.push_back(e.Message());
        }
    }
    steps_.clear();
    finished_ = true;
    return failures;
}

} // namespace oru::patch
