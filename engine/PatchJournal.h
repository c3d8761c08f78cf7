// The journal of a patch run. It lies in the target folder from before the run's
// first change until its last clean-up, and names every folder, temporary and
// backup the run makes and every swap it will make, so that a run cut short by a
// kill or a power cut can be finished or undone by the next one. The layout is in
// docs/patch-format.md.
#pragma once

#include "engine/PatchFilesX.h"
#include "engine/Sha256X.h"

#include <memory>
#include <string>
#include <vector>

namespace oru::patch {

inline constexpr const char* kJournalName = "ORUPATCH.~oru-journal";

enum class TJournalKind : uint8_t {
    Folder = 'F',     // Target: a folder the run made
    Temporary = 'T',  // Target: a new file being built
    Replace = 'R',    // Target, Temporary (its new content), Backup (its old content); Hash: new
    Add = 'A',        // Target, Temporary; Hash: new
    Delete = 'D',     // Target, Backup (where it goes); Hash: old
    Commit = 'C',     // every swap is made: the run is finished from here on
    Queued = 'Q',     // Target, Temporary (empty: a deletion), left for the restart
    Registered = 'G', // the queued work is registered with the system
    Undo = 'U'        // the run is being undone: a recovery must undo it too
};

struct TJournalRecord {
    TJournalKind Kind = TJournalKind::Folder;
    std::string Target;
    std::string Temporary;
    std::string Backup;
    TSha256Digest Hash{};
};

struct TJournal {
    std::string Folder;    // the target folder of the run
    std::string PatchFile; // for the user's information only
    std::vector<TJournalRecord> Records;
    bool TornTail = false; // the last record was being written when the run stopped

    bool Has(TJournalKind kind) const;
    // Undone unless the run passed its commit point and was not being undone.
    bool Finishes() const;
};

// A journal that cannot be trusted: not ours, of another version, or damaged.
class EJournalError : public Exception {
  public:
    using Exception::Exception;
};

// Parses a whole journal. An incomplete or unreadable record at the very end is
// the one that was being written when the run stopped and is dropped; anything
// else that does not check out raises EJournalError.
TJournal ReadJournal(TStream& in);

// Appends records; Flush makes everything written so far durable.
class TJournalWriter {
  public:
    // Creates the journal (it must not exist) and writes its header.
    TJournalWriter(TPatchFiles& files, const std::string& path, const std::string& folder,
                   const std::string& patchFile);
    void Append(const TJournalRecord& record);
    void Flush();
    // Closes and deletes the journal: the run left nothing to finish or undo.
    void Discard();
    const std::string& Path() const { return path_; }

  private:
    TPatchFiles& files_;
    std::string path_;
    std::string folder_;
    std::unique_ptr<TStream> stream_;
    bool folderFlushed_ = false;
};

} // namespace oru::patch
