// One patch run: read and check the patch file, settle the groups, check every
// file, build every new file beside its target, swap them all in, and keep the
// old ones until the last swap has succeeded.
#include "engine/PatchEngine.h"

#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/PatchCommandLine.h"
#include "engine/PatchDelta.h"
#include "engine/PatchReader.h"
#include "engine/PatchRecovery.h"
#include "engine/PatchTransaction.h"

#include <algorithm>
#include <map>

namespace oru::patch {

namespace {

constexpr size_t kCopyBuffer = 256 * 1024;

// Raised when the host answers a callback with null.
class EPatchAborted : public Exception {
  public:
    EPatchAborted() : Exception("The patch was aborted.") {}
};

// The rebuilt file is not what the patch promised.
class EPatchApplyError : public Exception {
  public:
    using Exception::Exception;
};

// Writes into the temporary file while hashing and counting, and refuses to
// grow beyond the size the patch declares.
class THashingWriter : public TStream {
  public:
    THashingWriter(TStream& out, uint64_t limit, std::function<void(uint64_t)> onWrite)
        : out_(out), limit_(limit), onWrite_(std::move(onWrite)) {}

    int32_t Write(const void* buffer, int32_t count) override {
        if (count <= 0)
            return 0;
        if (static_cast<uint64_t>(count) > limit_ - written_)
            throw EPatchApplyError("The rebuilt file grows beyond its declared size");
        // The codec hands over whole windows of megabytes; slices keep the meter moving.
        const auto* p = static_cast<const uint8_t*>(buffer);
        for (int32_t done = 0; done < count;) {
            int32_t slice = std::min(count - done, kSlice);
            out_.WriteBuffer(p + done, slice);
            sha_.Update(p + done, static_cast<size_t>(slice));
            written_ += static_cast<uint64_t>(slice);
            done += slice;
            onWrite_(written_);
        }
        return count;
    }
    int32_t Read(void*, int32_t) override {
        throw EPatchApplyError("The rebuilt file cannot be read back");
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        if ((origin == SeekOrigin::Current && offset == 0) ||
            (origin == SeekOrigin::Begin && static_cast<uint64_t>(offset) == written_))
            return static_cast<int64_t>(written_);
        throw EPatchApplyError("The rebuilt file is written in order only");
    }
    int64_t GetSize() override { return static_cast<int64_t>(written_); }

    uint64_t Written() const { return written_; }
    TSha256Digest Digest() { return sha_.Final(); }

  private:
    static constexpr int32_t kSlice = 64 * 1024;
    TStream& out_;
    uint64_t limit_;
    std::function<void(uint64_t)> onWrite_;
    uint64_t written_ = 0;
    TSha256 sha_;
};

std::string PlainCount(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

struct TPatchEngine::TJob {
    const TPatchEntry* Entry = nullptr;
    std::string Folder; // the group's folder as resolved
    std::string Target;
    bool UpToDate = false;
    std::string Temporary;
};

TPatchEngine::TPatchEngine(TPatchFiles& files, TPatchCallback callback, TEngineOptions options)
    : files_(files), callback_(std::move(callback)), options_(options) {}

TPatchEngine::~TPatchEngine() = default;

void* TPatchEngine::Call(uint32_t id, void* parm) {
    void* reply = callback_ ? callback_(id, parm) : nullptr;
    if (!reply) {
        aborted_ = true;
        throw EPatchAborted();
    }
    return reply;
}

void TPatchEngine::CallQuietly(uint32_t id, void* parm) noexcept {
    try {
        if (callback_)
            callback_(id, parm);
    } catch (...) {
    }
}

void TPatchEngine::Text(uint32_t id, const std::string& text) {
    Call(id, const_cast<char*>(text.c_str()));
}

void TPatchEngine::TextQuietly(uint32_t id, const std::string& text) noexcept {
    CallQuietly(id, const_cast<char*>(text.c_str()));
}

void TPatchEngine::Idle(uint64_t bytes) {
    idleBytes_ += bytes;
    if (idleBytes_ >= options_.IdleInterval) {
        idleBytes_ = 0;
        Call(cbIdle, nullptr);
    }
}

void TPatchEngine::Progress(uint16_t value) {
    // 64 steps are enough for any meter and keep the callbacks cheap; the last
    // step is 32768 alone, so completion is always reported, and only once.
    int step = value >> 9;
    if (step == lastProgressStep_)
        return;
    lastProgressStep_ = step;
    uint16_t parm = value;
    Call(cbProgress, &parm);
}

bool TPatchEngine::IsFolder(const std::string& path) {
    TFileState state = files_.Query(path);
    return state.Exists && state.IsFolder;
}

TSha256Digest TPatchEngine::HashFile(const std::string& path) {
    return DigestOfFile(files_, path, [this](uint64_t n) { Idle(n); });
}

template <class F> uint32_t TPatchEngine::Guard(F&& body) noexcept {
    aborted_ = false;
    idleBytes_ = 0;
    try {
        return body();
    } catch (const EPatchAborted&) {
        return resAborted;
    } catch (const std::exception& e) {
        if (aborted_)
            return resAborted;
        TextQuietly(cbError, std::string("Internal error: ") + e.what());
    } catch (...) {
    }
    return aborted_ ? resAborted : resInternalError;
}

uint32_t TPatchEngine::Run(const std::string& commandLine) noexcept {
    return Guard([&]() -> uint32_t {
        Call(cbStart, nullptr);
        TEngineCommandLine parsed;
        try {
            parsed = ParseEngineCommandLine(commandLine);
        } catch (const ECommandLineError& e) {
            TextQuietly(cbError, "Invalid command line: " + e.Message());
            return resBadCommandLine;
        }
        return Execute(parsed.TargetFolder, parsed.PatchFile);
    });
}

uint32_t TPatchEngine::Apply(const std::string& targetFolder,
                             const std::string& patchFile) noexcept {
    return Guard([&]() -> uint32_t {
        Call(cbStart, nullptr);
        return Execute(targetFolder, patchFile);
    });
}

uint32_t TPatchEngine::RecoverOnly(const std::string& targetFolder) noexcept {
    return Guard([&]() -> uint32_t {
        Call(cbStart, nullptr);
        targetFolder_ = targetFolder;
        patchFile_.clear();
        if (!files_.Query(JournalPath()).Exists) {
            Text(cbNote, "No interrupted update was found in " + targetFolder + ".");
            return resOk;
        }
        return Recover() ? resOk : resRestoreFailed;
    });
}

uint32_t TPatchEngine::Execute(const std::string& targetFolder, const std::string& patchFile) {
    targetFolder_ = targetFolder;
    patchFile_ = patchFile;
    if (files_.Query(JournalPath()).Exists && !Recover())
        return resRestoreFailed;
    TFileState state = files_.Query(patchFile);
    if (!state.Exists || state.IsFolder) {
        // Nothing can be done whatever the host answers.
        CallQuietly(cbPatchMissing, const_cast<char*>(patchFile.c_str()));
        return resAborted;
    }
    std::unique_ptr<TStream> patch;
    try {
        patch = files_.OpenRead(patchFile);
        dir_ = ReadPatchFile(*patch, [this](uint64_t n) { Idle(n); });
    } catch (const EPatchAborted&) {
        throw;
    } catch (const Exception& e) {
        // The outcome is settled: whatever the host replies, this file cannot be used.
        TextQuietly(cbError, e.Message());
        CallQuietly(cbPatchInvalid, const_cast<char*>(patchFile.c_str()));
        return resBadPatchFile;
    }
    Text(cbInfo, "Patch file " + patchFile + ": " +
                     PlainCount(dir_.Entries.size(), "file", "files") + " in " +
                     PlainCount(dir_.Groups.size(), "group.", "groups."));
    int32_t count = static_cast<int32_t>(dir_.Entries.size());
    Call(cbFileCount, &count);

    std::vector<std::string> folders;
    std::vector<bool> applied;
    if (!ResolveGroups(targetFolder, folders, applied))
        return resFilesDontMatch;

    std::vector<TJob> jobs;
    for (const TPatchEntry& e : dir_.Entries) {
        if (!applied[e.Group])
            continue;
        TJob job;
        job.Entry = &e;
        job.Folder = folders[e.Group];
        job.Target = files_.Join(job.Folder, e.Path);
        jobs.push_back(std::move(job));
    }
    if (!Verify(jobs))
        return resFilesDontMatch;
    Call(cbPhaseEnd, nullptr);

    size_t patched = 0, added = 0, deleted = 0, current = 0;
    for (const TJob& job : jobs) {
        if (job.UpToDate)
            ++current;
        else if (job.Entry->Action == TPatchAction::Patch)
            ++patched;
        else if (job.Entry->Action == TPatchAction::Add)
            ++added;
        else
            ++deleted;
    }
    std::string counts = std::to_string(patched) + " to patch, " + std::to_string(added) +
                         " to add, " + std::to_string(deleted) + " to delete, " +
                         std::to_string(current) + " already up to date.";
    if (options_.VerifyOnly) {
        Text(cbSummary, "All files can be updated: " + counts);
        return resOk;
    }
    uint32_t result = Change(jobs, *patch);
    if (result == resOk)
        TextQuietly(cbSummary, "The update is complete: " + std::to_string(patched) + " patched, " +
                                   std::to_string(added) + " added, " + std::to_string(deleted) +
                                   " deleted, " + std::to_string(current) + " already up to date.");
    return result;
}

std::string TPatchEngine::JournalPath() const { return files_.Join(targetFolder_, kJournalName); }

bool TPatchEngine::Recover() {
    const std::string path = JournalPath();
    if (options_.VerifyOnly) {
        // A check changes nothing, so it only tells what the next update will find.
        Text(cbWarning, "An earlier update of " + targetFolder_ +
                            " was interrupted; the next update finishes or undoes it first (" + path + ").");
        return true;
    }
    TRecoveryOutcome outcome;
    try {
        outcome = RecoverRun(files_, path, targetFolder_);
    } catch (const EJournalError& e) {
        Text(cbError, "The journal of an interrupted update, " + path + ", cannot be used: " + e.Message() +
                          ". Nothing was changed.");
        return false;
    }
    for (const std::string& w : outcome.Warnings)
        Text(cbWarning, w);
    for (const std::string& f : outcome.Failures)
        Text(cbError, f);
    if (!outcome.Failures.empty()) {
        Text(cbRestore, "An interrupted update could not be completed; see the messages above.");
        return false;
    }
    Text(cbRestore, outcome.Finished ? "An interrupted update was found and finished: every file it changed is new."
                                     : "An interrupted update was found and undone: every file is as it was before it.");
    return true;
}

bool TPatchEngine::ResolveGroups(const std::string& targetFolder, std::vector<std::string>& folders,
                                 std::vector<bool>& applied) {
    folders.assign(dir_.Groups.size(), std::string());
    applied.assign(dir_.Groups.size(), false);
    for (size_t i = 0; i < dir_.Groups.size(); ++i) {
        const TPatchGroup& g = dir_.Groups[i];
        const char* texts[2] = {g.Name.c_str(), g.Text.c_str()};
        void* reply = Call(cbGroup, texts);
        if (reinterpret_cast<uintptr_t>(reply) != kApplyGroupReply) {
            Text(cbNote, "Group " + g.Name + " is left out.");
            continue;
        }
        std::string folder = files_.Join(targetFolder, g.Folder);
        if (!IsFolder(folder)) {
            // The host may know where this group's files live instead.
            const char* answer = static_cast<const char*>(Call(cbGroupMissing, texts));
            folder = answer;
            if (folder.empty() || !IsFolder(folder)) {
                Text(cbError, "The folder '" + folder + "' for group " + g.Name +
                                  " does not exist. Nothing was changed.");
                return false;
            }
        }
        folders[i] = folder;
        applied[i] = true;
    }
    return true;
}

bool TPatchEngine::Verify(std::vector<TJob>& jobs) {
    Text(cbPhase, "Checking " + PlainCount(jobs.size(), "file.", "files."));
    size_t problems = 0;
    auto problem = [&](const std::string& text) {
        ++problems;
        Text(cbError, text);
    };
    // Two groups sent to one folder by the host could name the same file twice.
    std::map<std::string, const TJob*> byKey;
    for (const TJob& job : jobs)
        if (!byKey.emplace(PathKey(job.Target), &job).second)
            problem("The patch names " + job.Target + " twice.");
    if (problems)
        return false;

    for (TJob& job : jobs) {
        const TPatchEntry& e = *job.Entry;
        TFileState state = files_.Query(job.Target);
        if (state.Exists && state.IsFolder) {
            problem(job.Target + " is a folder, not a file.");
            continue;
        }
        // Only a file of a size the patch knows is worth reading.
        const bool mayBeOld = e.Action != TPatchAction::Add && state.Size == e.OldSize;
        const bool mayBeNew = e.Action != TPatchAction::Delete && state.Size == e.NewSize;
        bool isOld = false, isNew = false;
        if (state.Exists && (mayBeOld || mayBeNew)) {
            TSha256Digest digest;
            try {
                digest = HashFile(job.Target);
            } catch (const EPatchFileError& err) {
                problem(err.InUse
                            ? job.Target + " is in use by another program and cannot be checked."
                            : err.Message());
                continue;
            }
            isOld = mayBeOld && digest == e.OldHash;
            isNew = mayBeNew && digest == e.NewHash;
        }
        std::string why;
        switch (e.Action) {
        case TPatchAction::Patch:
            if (!state.Exists)
                why = " is missing.";
            else if (!isOld && !isNew)
                why = " is neither the original nor the updated version.";
            job.UpToDate = !isOld && isNew;
            break;
        case TPatchAction::Add:
            if (state.Exists && !isNew)
                why = " already exists with other content.";
            job.UpToDate = state.Exists;
            break;
        case TPatchAction::Delete:
            if (state.Exists && !isOld)
                why = " is to be deleted but is not the version the patch knows.";
            job.UpToDate = !state.Exists;
            break;
        }
        if (!why.empty()) {
            problem(job.Target + why);
            continue;
        }
        if (job.UpToDate)
            Text(cbNote, job.Target + " is already up to date.");
        else if (options_.VerifyOnly)
            Text(cbNote, job.Target + ": will be " +
                             (e.Action == TPatchAction::Patch ? "patched."
                              : e.Action == TPatchAction::Add ? "added."
                                                              : "deleted."));
    }
    if (problems) {
        Text(cbError, PlainCount(problems, "file does", "files do") +
                          " not match the patch. Nothing was changed.");
        return false;
    }
    return true;
}

void TPatchEngine::Build(TJob& job, TStream& patch, TPatchTransaction& tx) {
    const TPatchEntry& e = *job.Entry;
    if (e.Action == TPatchAction::Add) {
        size_t slash = e.Path.rfind('\\');
        if (slash != std::string::npos)
            tx.EnsureFolders(job.Folder, e.Path.substr(0, slash));
    }
    std::unique_ptr<TStream> out;
    job.Temporary = tx.CreateTemporary(job.Target, out);
    const uint64_t total = e.NewSize;
    uint64_t reported = 0;
    THashingWriter sink(*out, total, [&](uint64_t written) {
        Progress(static_cast<uint16_t>(total ? written * 0x8000 / total : 0x8000));
        Idle(written - reported);
        reported = written;
    });
    if (e.Method == TPatchMethod::BsDelta) {
        auto source = files_.OpenRead(job.Target);
        ApplyBsDelta(*source, patch, e.PayloadOffset, e.PayloadSize, e.PayloadRawSize, e.NewSize,
                     sink);
    } else {
        patch.SetPosition(static_cast<int64_t>(e.PayloadOffset));
        TInflateReader payload(patch, e.PayloadSize, e.PayloadRawSize);
        if (e.Method == TPatchMethod::Whole) {
            std::vector<uint8_t> buffer(kCopyBuffer);
            for (;;) {
                int32_t n = payload.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
                if (n <= 0)
                    break;
                sink.WriteBuffer(buffer.data(), n);
            }
        } else {
            auto source = files_.OpenRead(job.Target);
            ApplyDelta(*source, payload, sink);
        }
        payload.Finish();
    }
    if (sink.Written() != e.NewSize || sink.Digest() != e.NewHash)
        throw EPatchApplyError("The rebuilt " + job.Target +
                               " does not have the expected content.");
    // On disk before the journal says it may be moved in.
    out->Flush();
}

uint32_t TPatchEngine::Change(std::vector<TJob>& jobs, TStream& patch) {
    size_t work =
        std::count_if(jobs.begin(), jobs.end(), [](const TJob& j) { return !j.UpToDate; });
    std::unique_ptr<TPatchTransaction> started;
    try {
        started = std::make_unique<TPatchTransaction>(files_, JournalPath(), targetFolder_, patchFile_);
    } catch (const Exception& e) {
        TextQuietly(cbError, "The update cannot start its journal: " + e.Message() + " Nothing was changed.");
        return resApplyFailed;
    }
    TPatchTransaction& tx = *started;
    for (const TJob& job : jobs)
        tx.Reserve(job.Target);
    auto restore = [&](uint32_t failed) {
        std::vector<std::string> failures = tx.Rollback();
        for (const std::string& f : failures)
            TextQuietly(cbError, f);
        for (const std::string& w : tx.Warnings())
            TextQuietly(cbWarning, w);
        if (!failures.empty()) {
            TextQuietly(cbRestore, "Some files could not be restored; see the messages above.");
            return static_cast<uint32_t>(resRestoreFailed);
        }
        TextQuietly(cbRestore, "All files were restored to their state before the update.");
        return failed;
    };
    try {
        Text(cbPhase, "Updating " + PlainCount(work, "file.", "files."));
        for (TJob& job : jobs) {
            lastProgressStep_ = -1;
            Text(cbFileStart, job.Target);
            Progress(0);
            if (!job.UpToDate && job.Entry->Action != TPatchAction::Delete)
                Build(job, patch, tx);
            Progress(0x8000);
            Call(cbFileDone, nullptr);
        }
        Call(cbPhaseEnd, nullptr);
        std::vector<const TJob*> planned;
        for (const TJob& job : jobs) {
            if (job.UpToDate)
                continue;
            const TPatchEntry& e = *job.Entry;
            switch (e.Action) {
            case TPatchAction::Patch:
                tx.Plan(TSwapAction::Replace, job.Target, job.Temporary, e.NewHash);
                break;
            case TPatchAction::Add:
                tx.Plan(TSwapAction::Add, job.Target, job.Temporary, e.NewHash);
                break;
            case TPatchAction::Delete:
                tx.Plan(TSwapAction::Delete, job.Target, {}, e.OldHash);
                break;
            }
            planned.push_back(&job);
        }
        tx.BeginSwaps();
        bool restartAnnounced = false;
        for (size_t i = 0; i < planned.size(); ++i) {
            const TJob& job = *planned[i];
            if (tx.Swap(i) == TSwapOutcome::AtRestart) {
                Text(cbWarning,
                     job.Target + " is in use by another program; it will be " +
                         (job.Entry->Action == TPatchAction::Delete ? "deleted" : "replaced") +
                         " when the computer restarts.");
                if (!restartAnnounced) {
                    restartAnnounced = true;
                    Call(cbRestartNeeded, nullptr);
                }
            }
        }
        for (const std::string& warning : tx.Commit())
            TextQuietly(cbWarning, warning);
        return resOk;
    } catch (const EPatchAborted&) {
        return restore(resAborted);
    } catch (const std::exception& e) {
        if (aborted_)
            return restore(resAborted);
        TextQuietly(cbError, e.what());
        return restore(resApplyFailed);
    }
}

} // namespace oru::patch
