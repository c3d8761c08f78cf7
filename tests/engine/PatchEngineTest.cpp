// Patch runs on real files: the all-or-nothing promise under every kind of
// interruption, the journal the next run meets, and the callback sequence a host
// relies on.
#include "EngineTestSupport.h"

#include "engine/PatchEngine.h"
#include "engine/PatchJournal.h"
#include "engine/PatchReader.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace oru::test {
namespace {

using namespace oru::patch;

class PatchRun : public ::testing::Test {
  protected:
    TScratch s{"run"};
    std::string patch;
    std::map<std::string, std::string> before, after;

    void SetUp() override {
        std::string app = Noise(200000, 1);
        s.Write("old/app.exe", app);
        s.Write("old/readme.txt", "version 1\n");
        s.Write("old/data/table.dat", Noise(50000, 2));
        s.Write("old/obsolete.txt", "old stuff");
        s.Write("old/same.txt", "unchanged");
        s.Write("old/Unibrook/ub.dll", "ub 1");
        s.Write("old/empty.log", "");
        app.insert(100000, "a new function");
        app.replace(150000, 10, "0123456789");
        // Scattered small changes, as moved code makes them: the difference delta's case.
        for (size_t i = 500; i < app.size(); i += 700)
            app[i] = static_cast<char>(app[i] + 3);
        s.Write("new/app.exe", app);
        s.Write("new/readme.txt", "version 2\n");
        s.Write("new/data/table.dat", Noise(60000, 3));
        s.Write("new/data/extra/fresh.txt", "fresh");
        s.Write("new/same.txt", "unchanged");
        s.Write("new/Unibrook/ub.dll", "ub 2");
        s.Write("new/empty.log", "now with a line\n");
        s.Write("new/blank.cfg", "");
        patch = MakePatch(s, "old", "new", {"MAIN=.", "UNIBROOK=Unibrook=Unibrook tools"});
        Reset();
        before = Tree(s, "target");
        after = Tree(s, "new");
    }

    void Reset() {
        fs::remove_all(s.File("target"));
        s.Copy("old", "target");
    }
    uint32_t Run(TRecorder& rec, TPatchFiles& files = SystemPatchFiles(),
                 TEngineOptions options = {}) {
        TPatchEngine engine(files, rec.Callback(), options);
        return engine.Run("-dC \"" + s.File("target") + "\" \"" + patch + "\"");
    }
    uint32_t Verify(TRecorder& rec) {
        TEngineOptions options;
        options.VerifyOnly = true;
        return Run(rec, SystemPatchFiles(), options);
    }
    std::map<std::string, std::string> Target() const { return Tree(s, "target"); }
    std::string Journal() const { return s.File("target/" + std::string(kJournalName)); }
};

TEST_F(PatchRun, AppliesEveryChangeByteExactWithCallbacksInOrder) {
    TRecorder rec;
    ASSERT_EQ(Run(rec), resOk);
    EXPECT_EQ(Target(), after);

    std::vector<uint32_t> ids = rec.Ids();
    ASSERT_GE(ids.size(), 8u);
    EXPECT_EQ((std::vector<uint32_t>(ids.begin(), ids.begin() + 6)),
              (std::vector<uint32_t>{cbStart, cbInfo, cbFileCount, cbGroup, cbGroup, cbPhase}));
    EXPECT_EQ(rec.Calls[2].Text, "8");
    EXPECT_EQ(rec.Calls[3].Text, "MAIN|");
    EXPECT_EQ(rec.Calls[4].Text, "UNIBROOK|Unibrook tools");
    EXPECT_EQ(ids.back(), cbSummary);
    EXPECT_EQ(rec.Count(cbPhaseEnd), 2u);
    EXPECT_EQ(rec.Count(cbFileStart), 8u);
    EXPECT_EQ(rec.Count(cbError) + rec.Count(cbRestartNeeded) + rec.Count(cbGroupMissing), 0u);

    // Between a 7 and its 8 only progress (and idle) callbacks come, rising to 32768.
    auto firstFile = std::find(ids.begin(), ids.end(), cbFileStart);
    EXPECT_NE(std::find(ids.begin(), firstFile, cbPhaseEnd), firstFile) << "checking ends first";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != cbFileStart)
            continue;
        int last = -1;
        size_t j = i + 1;
        for (; j < ids.size() && ids[j] != cbFileDone; ++j) {
            ASSERT_TRUE(ids[j] == cbProgress || ids[j] == cbIdle) << "callback " << ids[j];
            if (ids[j] == cbProgress) {
                EXPECT_GT(std::stoi(rec.Calls[j].Text), last);
                last = std::stoi(rec.Calls[j].Text);
            }
        }
        ASSERT_LT(j, ids.size()) << "file without its done callback";
        EXPECT_EQ(last, 32768);
    }
}

TEST_F(PatchRun, MethodsAreChosenPerFile) {
    TMemoryStream file(ReadWholeBytes(patch));
    std::map<std::string, TPatchMethod> methods;
    for (const TPatchEntry& e : ReadPatchFile(file).Entries)
        methods[e.Path] = e.Method;
    EXPECT_EQ(methods["app.exe"], TPatchMethod::BsDelta);
    EXPECT_EQ(methods["data\\table.dat"], TPatchMethod::Whole); // unrelated content
}

// A patch file written by the builder before the difference delta existed.
TEST(PatchFiles, VcdiffOnlyPatchFromEarlierBuilderStillApplies) {
    TScratch s("legacy");
    const fs::path data = fs::path(ORU_ENGINE_TEST_DATA) / "vcdiff-v1";
    fs::copy(data / "old", s.File("target"), fs::copy_options::recursive);
    TRecorder rec;
    TPatchEngine engine(SystemPatchFiles(), rec.Callback(), {});
    ASSERT_EQ(engine.Apply(s.File("target"), (data / "patch.rtp").string()), resOk);
    EXPECT_EQ(s.Snapshot("target"), SnapshotTree(data / "new"));
}

// A host may send a missing group to the folder another group already patches.
TEST(PatchFiles, TwoGroupsSentToOneFolderAreRefused) {
    TScratch s("twice");
    for (const std::string tree : {"old", "new"}) {
        s.Write(tree + "/a.txt", tree);
        s.Write(tree + "/Sub/a.txt", tree);
    }
    const std::string patch = MakePatch(s, "old", "new", {"MAIN=.", "SUB=Sub=Sub files"});
    s.Copy("old", "target");
    fs::remove_all(s.File("target/Sub"));
    const auto before = Tree(s, "target");
    TRecorder rec;
    rec.MissingFolderAnswer = s.File("target") + SystemPatchFiles().Separator();
    TPatchEngine engine(SystemPatchFiles(), rec.Callback());
    EXPECT_EQ(engine.Apply(s.File("target"), patch), resFilesDontMatch);
    EXPECT_TRUE(rec.HasText(cbError, "a.txt twice"));
    EXPECT_EQ(Tree(s, "target"), before);
}

// Only a file held by another program waits for the restart; other failures are errors.
TEST(PatchFiles, AFailureOtherThanSharingIsNotInUse) {
    TScratch s("missing");
    try {
        SystemPatchFiles().OpenRead(s.File("no such file"));
        ADD_FAILURE() << "a missing file was opened";
    } catch (const EPatchFileError& e) {
        EXPECT_FALSE(e.InUse) << e.Message();
    }
}

TEST_F(PatchRun, SecondRunIsHarmless) {
    TRecorder first, second;
    ASSERT_EQ(Run(first), resOk);
    ASSERT_EQ(Run(second), resOk);
    EXPECT_EQ(Target(), after);
    EXPECT_EQ(second.Count(cbFileStart), 8u); // the meter still reaches its end
    EXPECT_TRUE(second.HasText(cbSummary, "8 already up to date"));
}

TEST_F(PatchRun, FilesNeitherOldNorNewStopTheRunBeforeAnyChange) {
    s.Write("target/readme.txt", "edited by the user\n");
    s.Write("target/Unibrook/ub.dll", "ub 0");
    s.Write("target/data/extra/fresh.txt", "someone else's");
    fs::remove(s.File("target\\app.exe"));
    before = Target();
    TRecorder rec;
    EXPECT_EQ(Run(rec), resFilesDontMatch);
    EXPECT_EQ(Target(), before);
    EXPECT_TRUE(rec.HasText(cbError, "readme.txt is neither the original nor the updated version"));
    EXPECT_TRUE(rec.HasText(cbError, "ub.dll is neither"));
    EXPECT_TRUE(rec.HasText(cbError, "app.exe is missing"));
    EXPECT_TRUE(rec.HasText(cbError, "fresh.txt already exists with other content"));
    EXPECT_EQ(rec.Count(cbFileStart), 0u);
}

TEST_F(PatchRun, MissingGroupFolderIsAskedForAndUsed) {
    fs::create_directories(s.File("elsewhere"));
    fs::rename(s.File("target/Unibrook"), s.File("elsewhere/UB"));
    TRecorder rec;
    rec.MissingFolderAnswer = s.File("elsewhere/UB") + SystemPatchFiles().Separator();
    ASSERT_EQ(Run(rec), resOk);
    EXPECT_EQ(s.Read("elsewhere/UB/ub.dll"), "ub 2");
    EXPECT_EQ(s.Read("target/readme.txt"), "version 2\n");
    ASSERT_EQ(rec.Count(cbGroupMissing), 1u);
    auto ids = rec.Ids();
    size_t at = std::find(ids.begin(), ids.end(), cbGroupMissing) - ids.begin();
    EXPECT_EQ(rec.Calls[at].Text, "UNIBROOK|Unibrook tools");
    EXPECT_EQ(ids[at - 1], cbGroup);
}

TEST_F(PatchRun, MissingGroupFolderWithoutUsableAnswerChangesNothing) {
    fs::remove_all(s.File("target/Unibrook"));
    before = Target();
    TRecorder refused;
    EXPECT_EQ(Run(refused), resAborted);
    TRecorder wrong;
    wrong.MissingFolderAnswer = s.File("no such folder");
    EXPECT_EQ(Run(wrong), resFilesDontMatch);
    EXPECT_TRUE(wrong.HasText(cbError, "no such folder"));
    EXPECT_EQ(Target(), before);
}

TEST_F(PatchRun, GroupDeclinedByHostIsLeftAlone) {
    TRecorder rec;
    static char no[] = "N";
    rec.Override = [](const TCall& c, size_t, void** reply) {
        *reply = no;
        return c.Id == cbGroup && c.Text.rfind("UNIBROOK", 0) == 0;
    };
    ASSERT_EQ(Run(rec), resOk);
    EXPECT_EQ(s.Read("target/Unibrook/ub.dll"), "ub 1");
    EXPECT_EQ(s.Read("target/readme.txt"), "version 2\n");
    EXPECT_TRUE(rec.HasText(cbNote, "UNIBROOK is left out"));
}

// A null reply at any point ends the run with nothing changed, unless it came
// after the last swap (then the update is complete and stays so).
TEST_F(PatchRun, NullReplyAnywhereRestoresEverything) {
    TRecorder full;
    ASSERT_EQ(Run(full), resOk);
    bool sawSecondFileProgress = false;
    for (size_t n = 0; n < full.Calls.size(); ++n) {
        Reset();
        TRecorder rec;
        rec.Override = [n](const TCall&, size_t index, void** reply) {
            *reply = nullptr;
            return index == n;
        };
        uint32_t result = Run(rec);
        const TCall& refused = rec.Calls.at(std::min(n, rec.Calls.size() - 1));
        if (result == resOk) {
            EXPECT_EQ(Target(), after) << "refused callback " << refused.Id;
            EXPECT_TRUE(refused.Id == cbSummary || refused.Id == cbWarning) << refused.Id;
        } else {
            EXPECT_EQ(result, resAborted) << "refused callback " << refused.Id << " #" << n;
            EXPECT_EQ(Target(), before) << "refused callback " << refused.Id << " #" << n;
        }
        sawSecondFileProgress |= refused.Id == cbProgress && rec.Count(cbFileStart) == 2;
    }
    EXPECT_TRUE(sawSecondFileProgress);
}

// Every changing file operation in turn fails once: the run must end either
// with everything restored, or (when only a clean-up failed) complete.
TEST_F(PatchRun, FailureOfAnyFileOperationRestoresEverything) {
    int failures = 0;
    for (int k = 1; k < 400; ++k) {
        Reset();
        TFaultyFiles files;
        files.FailAt = k;
        TRecorder rec;
        uint32_t result = Run(rec, files);
        if (!files.Failed) {
            EXPECT_EQ(result, resOk);
            EXPECT_EQ(Target(), after);
            break;
        }
        ++failures;
        auto snap = Target();
        const bool journalLeft = snap.erase(kJournalName) > 0;
        if (result == resOk && !journalLeft) {
            // A backup that could not be removed is left for the restart.
            ASSERT_EQ(files.DeletedAtRestart.size(), 1u) << "operation " << k;
            const fs::path left = fs::relative(files.DeletedAtRestart[0], s.File("target"));
            EXPECT_EQ(snap.erase(left.generic_string()), 1u);
            EXPECT_EQ(snap, after);
            EXPECT_TRUE(rec.HasText(cbWarning, "will be deleted at restart"));
        } else if (result == resOk) {
            EXPECT_EQ(snap, after) << "operation " << k;
        } else {
            EXPECT_EQ(result, resApplyFailed) << "operation " << k;
            EXPECT_EQ(snap, before) << "operation " << k;
            EXPECT_TRUE(rec.HasText(cbError, "Injected failure"));
            EXPECT_TRUE(rec.HasText(cbRestore, "restored") ||
                        rec.HasText(cbError, "Nothing was changed"))
                << "operation " << k;
        }
        if (journalLeft) {
            // Only the journal's own removal failed: the next run removes it.
            EXPECT_TRUE(rec.HasText(cbWarning, "could not be deleted")) << "operation " << k;
            TRecorder next;
            EXPECT_EQ(Run(next), resOk);
            EXPECT_EQ(Target(), after) << "operation " << k;
        }
    }
    EXPECT_GT(failures, 10);
}

TEST_F(PatchRun, FileInUseIsReplacedAtRestartUnlessTheQueueRefuses) {
    TFaultyFiles files;
    files.InUse = {s.File("target\\app.exe"), s.File("target\\obsolete.txt")};
    TRecorder rec, refused;
    ASSERT_EQ(Run(rec, files), resOk);
    EXPECT_EQ(rec.Count(cbRestartNeeded), 1u);
    EXPECT_TRUE(rec.HasText(cbWarning, "app.exe is in use by another program"));
    ASSERT_EQ(files.ReplacedAtRestart.size(), 1u);
    EXPECT_EQ(files.ReplacedAtRestart[0].second, s.File("target\\app.exe"));
    EXPECT_EQ(files.DeletedAtRestart, std::vector<std::string>{s.File("target\\obsolete.txt")});
    // Until the restart the old file stays and the new one waits beside it.
    EXPECT_EQ(s.Read("target/app.exe"), before.at("app.exe"));
    EXPECT_EQ(ReadWholeFile(files.ReplacedAtRestart[0].first), after.at("app.exe"));
    EXPECT_EQ(s.Read("target/readme.txt"), "version 2\n");

    Reset();
    files.FailRestart = true;
    EXPECT_EQ(Run(refused, files), resApplyFailed);
    EXPECT_EQ(Target(), before);
}

TEST_F(PatchRun, LongWorkLetsTheHostBreathe) {
    TRecorder rec;
    TEngineOptions options;
    options.IdleInterval = 32 * 1024;
    ASSERT_EQ(Run(rec, SystemPatchFiles(), options), resOk);
    auto ids = rec.Ids();
    auto checking = std::find(ids.begin(), ids.end(), cbPhase);
    auto checked = std::find(checking, ids.end(), cbPhaseEnd);
    EXPECT_NE(std::find(checking, checked, cbIdle), checked) << "no idle callback while hashing";
    // Inside the 200 KB file the meter moves several times and the host gets turns.
    size_t i = 0, progress = 0, idle = 0;
    while (i < ids.size() &&
           !(ids[i] == cbFileStart && rec.Calls[i].Text.find("app.exe") != std::string::npos))
        ++i;
    for (++i; i < ids.size() && ids[i] != cbFileDone; ++i) {
        progress += ids[i] == cbProgress;
        idle += ids[i] == cbIdle;
    }
    EXPECT_GE(progress, 4u);
    EXPECT_GE(idle, 2u);
}

TEST_F(PatchRun, VerifyOnlyChangesNothing) {
    TRecorder rec;
    EXPECT_EQ(Verify(rec), resOk);
    EXPECT_EQ(Target(), before);
    EXPECT_TRUE(rec.HasText(cbSummary, "5 to patch, 2 to add, 1 to delete, 0 already up to date"));
    EXPECT_TRUE(rec.HasText(cbNote, "obsolete.txt: will be deleted"));
    EXPECT_EQ(rec.Count(cbFileStart), 0u);
}

TEST_F(PatchRun, DamagedPatchIsRefusedBeforeAnyChange) {
    const std::string bytes = ReadWholeFile(patch);
    // The header and the trailer byte by byte, about 300 places in between.
    const size_t stride = std::max<size_t>(7, bytes.size() / 300);
    for (size_t at = 0; at < bytes.size(); at += at < 16 || at + 64 >= bytes.size() ? 1 : stride) {
        std::string damaged = bytes;
        damaged[at] ^= 0x20;
        WriteWholeFile(patch, damaged);
        TRecorder rec;
        ASSERT_EQ(Run(rec), resBadPatchFile) << "byte " << at;
        ASSERT_EQ(rec.Ids().back(), cbPatchInvalid);
        ASSERT_EQ(rec.Count(cbFileCount), 0u);
    }
    for (size_t length : {size_t(0), size_t(10), bytes.size() / 2, bytes.size() - 1}) {
        WriteWholeFile(patch, bytes.substr(0, length));
        TRecorder rec;
        EXPECT_EQ(Run(rec), resBadPatchFile) << "length " << length;
    }
    EXPECT_EQ(Target(), before);
}

TEST_F(PatchRun, MissingPatchOrBadCommandLineStopAtOnce) {
    TRecorder missing, bad;
    TPatchEngine first(SystemPatchFiles(), missing.Callback());
    EXPECT_EQ(first.Apply(s.File("target"), s.File("no.rtp")), resAborted);
    EXPECT_EQ(missing.Ids(), (std::vector<uint32_t>{cbStart, cbPatchMissing}));
    TPatchEngine engine(SystemPatchFiles(), bad.Callback());
    EXPECT_EQ(engine.Run("-x \"" + s.File("target") + "\" \"" + patch + "\""), resBadCommandLine);
    EXPECT_TRUE(bad.HasText(cbError, "Invalid command line"));
    EXPECT_EQ(Target(), before);
}

// ---- the journal ----

std::vector<TJournalRecord> SampleRecords(const std::string& dir) {
    TSha256Digest hash{};
    hash[0] = 7;
    return {{TJournalKind::Temporary, dir + "/a.dll.~oru-new", {}, {}, {}},
            {TJournalKind::Replace, dir + "/a.dll", dir + "/a.dll.~oru-new",
             dir + "/a.dll.~oru-old", hash},
            {TJournalKind::Delete, dir + "/b.txt", {}, dir + "/b.txt.~oru-old", hash},
            {TJournalKind::Commit, {}, {}, {}, {}}};
}

void WriteJournal(const std::string& path, const std::vector<TJournalRecord>& records,
                  const std::string& folder) {
    TJournalWriter writer(SystemPatchFiles(), path, folder, "Z:\\pkg\\ORU.rtp");
    for (const TJournalRecord& r : records)
        writer.Append(r);
    writer.Flush();
}

// A record on disk: its size, a kind byte, three sized paths, the hash and a CRC.
size_t RecordBytes(const TJournalRecord& r) {
    return 4 + 1 + 3 * 4 + r.Target.size() + r.Temporary.size() + r.Backup.size() + 32 + 4;
}

TJournal Parse(const std::string& bytes) {
    TMemoryStream in(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return ReadJournal(in);
}

TEST(Journal, ACutAnywhereLeavesTheRecordsBeforeItAndDamageElsewhereIsRefused) {
    TScratch s("journal");
    const auto records = SampleRecords(s.File("target"));
    WriteJournal(s.File("journal"), records, s.File("target"));
    const std::string whole = s.Read("journal");

    TJournal full = Parse(whole);
    EXPECT_EQ(full.Folder, s.File("target"));
    EXPECT_EQ(full.PatchFile, "Z:\\pkg\\ORU.rtp");
    ASSERT_EQ(full.Records.size(), records.size());
    EXPECT_EQ(full.Records[1].Backup, records[1].Backup);
    EXPECT_EQ(full.Records[2].Hash, records[2].Hash);
    EXPECT_TRUE(full.Finishes());
    EXPECT_FALSE(full.TornTail);

    size_t previous = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        TJournal part = Parse(whole.substr(0, cut));
        EXPECT_GE(part.Records.size(), previous) << cut;
        EXPECT_LT(part.Records.size(), records.size()) << cut;
        previous = part.Records.size();
    }
    // A byte changed in any record but the last is damage, not a cut.
    const size_t lastRecord = whole.size() - RecordBytes(records.back());
    for (size_t at = 8; at < lastRecord; at += 7) {
        std::string bad = whole;
        bad[at] ^= 0x40;
        EXPECT_THROW(Parse(bad), EJournalError) << at;
    }
    // A size that runs past the end looks like a cut; only the commit record behind
    // it, as short as a record can be, shows it is damage.
    std::string bad = whole;
    bad[lastRecord - RecordBytes(records[2]) + 3] = 0x7F; // the top byte of its size
    EXPECT_THROW(Parse(bad), EJournalError);
    EXPECT_THROW(Parse("PK\x03\x04 not a journal at all"), EJournalError);
    std::string later = whole;
    later[7] = '2'; // another version of the format
    EXPECT_THROW(Parse(later), EJournalError);
}

TEST_F(PatchRun, AJournalThatCannotBeTrustedStopsTheRunAndChangesNothing) {
    const std::string dir = s.File("target");
    s.Write("target/a.dll.~oru-old", "what a backup would hold");
    struct {
        const char* why;
        std::function<void()> make;
        const char* says;
    } const cases[] = {
        {"damaged",
         [&] {
             WriteJournal(Journal(), SampleRecords(dir), dir);
             std::string bytes = ReadWholeFile(Journal());
             bytes[20] ^= 1;
             WriteWholeFile(Journal(), bytes);
         },
         "is damaged"},
        {"another folder's",
         [&] { WriteJournal(Journal(), SampleRecords(dir), s.File("elsewhere")); },
         "belongs to the folder"},
        {"naming a file of the installation as a backup",
         [&] {
             auto records = SampleRecords(dir);
             records[1].Backup = dir + "/readme.txt";
             WriteJournal(Journal(), records, dir);
         },
         "not a temporary or backup"},
    };
    for (const auto& c : cases) {
        fs::remove(Journal());
        c.make();
        const auto snapshot = Target();
        TRecorder rec;
        EXPECT_EQ(Run(rec), resRestoreFailed) << c.why;
        EXPECT_TRUE(rec.HasText(cbError, c.says)) << c.why;
        EXPECT_TRUE(rec.HasText(cbError, "Nothing was changed")) << c.why;
        EXPECT_EQ(Target(), snapshot) << c.why;
    }
}

TEST_F(PatchRun, ACheckReportsAnInterruptedRunAndLeavesItForTheUpdate) {
    WriteJournal(Journal(), {}, s.File("target"));
    const auto snapshot = Target();
    TRecorder check, update;
    EXPECT_EQ(Verify(check), resOk);
    EXPECT_TRUE(check.HasText(cbWarning, "was interrupted"));
    EXPECT_EQ(Target(), snapshot);

    EXPECT_EQ(Run(update), resOk);
    EXPECT_TRUE(update.HasText(cbRestore, "An interrupted update was found and undone"));
    EXPECT_EQ(Target(), after);
}

} // namespace
} // namespace oru::test
