// Patch runs on real files: the all-or-nothing promise under every kind of
// interruption, and the callback sequence a host relies on.
#include "EngineTestSupport.h"

#include "engine/PatchEngine.h"
#include "engine/PatchJournal.h"
#include "engine/PatchReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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
        s.Copy("old", "target");
        before = s.Snapshot("target");
        after = s.Snapshot("new");
    }

    uint32_t Run(TRecorder& rec, TPatchFiles& files = SystemPatchFiles(),
                 TEngineOptions options = {}) {
        TPatchEngine engine(files, rec.Callback(), options);
        return engine.Run("-dC \"" + s.Path("target") + "\" \"" + patch + "\"");
    }

    // Temporaries and backups carry ".~oru-" in their names.
    bool NoLeftovers() {
        for (const auto& [name, content] : s.Snapshot("target"))
            if (name.find(".~oru-") != std::string::npos)
                return false;
        return true;
    }
};

TEST_F(PatchRun, AppliesEveryChangeByteExactWithCallbacksInOrder) {
    TRecorder rec;
    ASSERT_EQ(Run(rec), resOk);
    EXPECT_EQ(s.Snapshot("target"), after);

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
    EXPECT_NE(std::find(ids.begin(), firstFile, cbPhaseEnd), firstFile)
        << "checking ends before files start";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != cbFileStart)
            continue;
        int last = -1;
        size_t j = i + 1;
        for (; j < ids.size() && ids[j] != cbFileDone; ++j) {
            ASSERT_TRUE(ids[j] == cbProgress || ids[j] == cbIdle)
                << "callback " << ids[j] << " inside a file";
            if (ids[j] == cbProgress) {
                int value = std::stoi(rec.Calls[j].Text);
                EXPECT_GT(value, last);
                last = value;
            }
        }
        ASSERT_LT(j, ids.size()) << "file without its done callback";
        EXPECT_EQ(last, 32768);
    }
}

TEST_F(PatchRun, MethodsAreChosenPerFile) {
    TMemoryStream file;
    {
        std::ifstream in(patch, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        file.Data().assign(bytes.begin(), bytes.end());
    }
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
    fs::copy(data / "old", s.Path("target"), fs::copy_options::recursive);
    TRecorder rec;
    TPatchEngine engine(SystemPatchFiles(), rec.Callback(), {});
    ASSERT_EQ(engine.Run("\"" + s.Path("target") + "\" \"" + (data / "patch.rtp").string() + "\""),
              resOk);
    std::map<std::string, std::string> expected;
    for (const auto& entry : fs::directory_iterator(data / "new")) {
        std::ifstream in(entry.path(), std::ios::binary);
        expected[entry.path().filename().string()] =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(s.Snapshot("target"), expected);
}

TEST_F(PatchRun, SecondRunIsHarmless) {
    TRecorder first, second;
    ASSERT_EQ(Run(first), resOk);
    ASSERT_EQ(Run(second), resOk);
    EXPECT_EQ(s.Snapshot("target"), after);
    EXPECT_EQ(second.Count(cbFileStart), 8u); // the meter still reaches its end
    EXPECT_TRUE(second.HasText(cbSummary, "8 already up to date"));
}

TEST_F(PatchRun, FileNeitherOldNorNewStopsBeforeAnyChange) {
    s.Write("target/readme.txt", "edited by the user\n");
    s.Write("target/Unibrook/ub.dll", "ub 0");
    before = s.Snapshot("target");
    TRecorder rec;
    EXPECT_EQ(Run(rec), resFilesDontMatch);
    EXPECT_EQ(s.Snapshot("target"), before);
    EXPECT_TRUE(rec.HasText(cbError, "readme.txt is neither the original nor the updated version"));
    EXPECT_TRUE(rec.HasText(cbError, "ub.dll is neither"));
    EXPECT_EQ(rec.Count(cbFileStart), 0u);
}

TEST_F(PatchRun, MissingOrReplacedFilesAreReported) {
    std::filesystem::remove(s.Path("target/app.exe"));
    s.Write("target/data/extra/fresh.txt", "someone else's");
    before = s.Snapshot("target");
    TRecorder rec;
    EXPECT_EQ(Run(rec), resFilesDontMatch);
    EXPECT_EQ(s.Snapshot("target"), before);
    EXPECT_TRUE(rec.HasText(cbError, "app.exe is missing"));
    EXPECT_TRUE(rec.HasText(cbError, "fresh.txt already exists with other content"));
}

TEST_F(PatchRun, MissingGroupFolderIsAskedForAndUsed) {
    std::filesystem::create_directories(s.Path("elsewhere"));
    std::filesystem::rename(s.Path("target/Unibrook"), s.Path("elsewhere/UB"));
    TRecorder rec;
    rec.MissingFolderAnswer =
        s.Path("elsewhere/UB") + std::string(1, SystemPatchFiles().Separator());
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
    std::filesystem::remove_all(s.Path("target/Unibrook"));
    before = s.Snapshot("target");
    TRecorder refused;
    EXPECT_EQ(Run(refused), resAborted);
    TRecorder wrong;
    wrong.MissingFolderAnswer = s.Path("no such folder");
    EXPECT_EQ(Run(wrong), resFilesDontMatch);
    EXPECT_TRUE(wrong.HasText(cbError, "no such folder"));
    EXPECT_EQ(s.Snapshot("target"), before);
}

TEST_F(PatchRun, GroupDeclinedByHostIsLeftAlone) {
    TRecorder rec;
    static char no[] = "N";
    rec.Override = [](const TCall& c, size_t, void** reply) {
        if (c.Id != cbGroup || c.Text.rfind("UNIBROOK", 0) != 0)
            return false;
        *reply = no;
        return true;
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
    const size_t total = full.Calls.size();
    std::filesystem::remove_all(s.Path("target"));
    bool sawSecondFileProgress = false;
    for (size_t n = 0; n < total; ++n) {
        std::filesystem::remove_all(s.Path("target"));
        s.Copy("old", "target");
        TRecorder rec;
        rec.Override = [n](const TCall&, size_t index, void** reply) {
            *reply = nullptr;
            return index == n;
        };
        uint32_t result = Run(rec);
        const TCall& refused = rec.Calls.at(std::min(n, rec.Calls.size() - 1));
        if (result == resOk) {
            EXPECT_EQ(s.Snapshot("target"), after) << "refused callback " << refused.Id;
            EXPECT_TRUE(refused.Id == cbSummary || refused.Id == cbWarning)
                << "refused callback " << refused.Id;
        } else {
            EXPECT_EQ(result, resAborted) << "refused callback " << refused.Id << " #" << n;
            EXPECT_EQ(s.Snapshot("target"), before)
                << "refused callback " << refused.Id << " #" << n;
        }
        if (refused.Id == cbProgress && rec.Count(cbFileStart) == 2)
            sawSecondFileProgress = true;
    }
    EXPECT_TRUE(sawSecondFileProgress);
}

// Every changing file operation in turn fails once: the run must end either
// with everything restored, or (when only a backup removal failed) complete.
TEST_F(PatchRun, FailureOfAnyFileOperationRestoresEverything) {
    int failures = 0;
    for (int k = 1; k < 400; ++k) {
        std::filesystem::remove_all(s.Path("target"));
        s.Copy("old", "target");
        TFaultyFiles files;
        files.FailAt = k;
        TRecorder rec;
        uint32_t result = Run(rec, files);
        if (!files.Failed) {
            EXPECT_EQ(result, resOk);
            EXPECT_EQ(s.Snapshot("target"), after);
            break;
        }
        ++failures;
        if (result == resOk && s.Exists("target/" + std::string(kJournalName))) {
            // A journal that could not be deleted is the next run's to remove.
            EXPECT_TRUE(rec.HasText(cbWarning, "could not be deleted")) << "operation " << k;
            TRecorder next;
            EXPECT_EQ(Run(next), resOk);
            EXPECT_EQ(s.Snapshot("target"), after) << "operation " << k;
        } else if (result == resOk) {
            // A backup that could not be removed is left for the restart.
            ASSERT_EQ(files.DeletedAtRestart.size(), 1u) << "operation " << k;
            auto snap = s.Snapshot("target");
            std::string leftover =
                std::filesystem::relative(files.DeletedAtRestart[0], s.Path("target"))
                    .generic_string();
            EXPECT_EQ(snap.erase(leftover), 1u);
            EXPECT_EQ(snap, after);
            EXPECT_TRUE(rec.HasText(cbWarning, "will be deleted at restart"));
        } else {
            EXPECT_EQ(result, resApplyFailed) << "operation " << k;
            auto snap = s.Snapshot("target");
            if (snap.erase(kJournalName)) {
                // Only the journal's own removal failed: the next run removes it.
                EXPECT_TRUE(rec.HasText(cbWarning, "could not be deleted")) << "operation " << k;
                TRecorder next;
                EXPECT_EQ(Run(next), resOk);
                EXPECT_EQ(s.Snapshot("target"), after) << "operation " << k;
            }
            EXPECT_EQ(snap, before) << "operation " << k;
            EXPECT_TRUE(rec.HasText(cbError, "Injected failure"));
            EXPECT_TRUE(rec.HasText(cbRestore, "restored") || rec.HasText(cbError, "Nothing was changed"))
                << "operation " << k;
        }
    }
    EXPECT_GT(failures, 10);
}

TEST_F(PatchRun, FileInUseIsReplacedAtRestart) {
    TFaultyFiles files;
    files.InUse = {s.Path("target/app.exe"), s.Path("target/obsolete.txt")};
    TRecorder rec;
    ASSERT_EQ(Run(rec, files), resOk);
    EXPECT_EQ(rec.Count(cbRestartNeeded), 1u);
    EXPECT_TRUE(rec.HasText(cbWarning, "app.exe is in use by another program"));
    ASSERT_EQ(files.ReplacedAtRestart.size(), 1u);
    EXPECT_EQ(files.ReplacedAtRestart[0].second, s.Path("target/app.exe"));
    EXPECT_EQ(files.DeletedAtRestart, std::vector<std::string>{s.Path("target/obsolete.txt")});
    // Until the restart the old file stays and the new one waits beside it.
    EXPECT_EQ(s.Read("target/app.exe"), before.at("app.exe"));
    std::ifstream waiting(files.ReplacedAtRestart[0].first, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(waiting)), {});
    EXPECT_EQ(content, after.at("app.exe"));
    EXPECT_EQ(s.Read("target/readme.txt"), "version 2\n");
}

TEST_F(PatchRun, RestartQueueRefusedRestoresEverything) {
    TFaultyFiles files;
    files.InUse = {s.Path("target/app.exe")};
    files.FailRestart = true;
    TRecorder rec;
    EXPECT_EQ(Run(rec, files), resApplyFailed);
    EXPECT_EQ(s.Snapshot("target"), before);
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
    size_t start = 0;
    while (start < ids.size() && !(ids[start] == cbFileStart &&
                                   rec.Calls[start].Text.find("app.exe") != std::string::npos))
        ++start;
    size_t progress = 0, idle = 0;
    for (size_t i = start + 1; i < ids.size() && ids[i] != cbFileDone; ++i) {
        progress += ids[i] == cbProgress;
        idle += ids[i] == cbIdle;
    }
    EXPECT_GE(progress, 4u);
    EXPECT_GE(idle, 2u);
}

TEST_F(PatchRun, VerifyOnlyChangesNothing) {
    TRecorder rec;
    TEngineOptions options;
    options.VerifyOnly = true;
    EXPECT_EQ(Run(rec, SystemPatchFiles(), options), resOk);
    EXPECT_EQ(s.Snapshot("target"), before);
    EXPECT_TRUE(rec.HasText(cbSummary, "5 to patch, 2 to add, 1 to delete, 0 already up to date"));
    EXPECT_TRUE(rec.HasText(cbNote, "obsolete.txt: will be deleted"));
    EXPECT_EQ(rec.Count(cbFileStart), 0u);
}

TEST_F(PatchRun, DamagedPatchIsRefusedBeforeAnyChange) {
    std::string bytes;
    {
        std::ifstream in(patch, std::ios::binary);
        bytes.assign((std::istreambuf_iterator<char>(in)), {});
    }
    // The header and the trailer byte by byte, about 300 places in between.
    const size_t stride = std::max<size_t>(7, bytes.size() / 300);
    for (size_t at = 0; at < bytes.size();
         at += (at < 16 || at + 64 >= bytes.size() ? 1 : stride)) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        std::ofstream(patch, std::ios::binary | std::ios::trunc) << damaged;
        TRecorder rec;
        ASSERT_EQ(Run(rec), resBadPatchFile) << "byte " << at;
        ASSERT_EQ(rec.Ids().back(), cbPatchInvalid);
        ASSERT_EQ(rec.Count(cbFileCount), 0u);
    }
    for (size_t length : {size_t(0), size_t(10), bytes.size() / 2, bytes.size() - 1}) {
        std::ofstream(patch, std::ios::binary | std::ios::trunc) << bytes.substr(0, length);
        TRecorder rec;
        EXPECT_EQ(Run(rec), resBadPatchFile) << "length " << length;
    }
    EXPECT_EQ(s.Snapshot("target"), before);
}

TEST_F(PatchRun, MissingPatchOrBadCommandLineStopAtOnce) {
    TRecorder missing;
    TPatchEngine engine(SystemPatchFiles(), missing.Callback());
    EXPECT_EQ(engine.Run("\"" + s.Path("target") + "\" \"" + s.Path("nothing.rtp") + "\""),
              resAborted);
    EXPECT_EQ(missing.Ids(), (std::vector<uint32_t>{cbStart, cbPatchMissing}));

    TRecorder bad;
    TPatchEngine engine2(SystemPatchFiles(), bad.Callback());
    EXPECT_EQ(engine2.Run("-x \"" + s.Path("target") + "\" \"" + patch + "\""), resBadCommandLine);
    EXPECT_TRUE(bad.HasText(cbError, "Invalid command line"));
    EXPECT_EQ(s.Snapshot("target"), before);
}

} // namespace
} // namespace oru::test
