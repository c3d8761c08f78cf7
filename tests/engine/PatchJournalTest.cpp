// The journal as the next run meets it: cut short anywhere it may be read, damaged
// anywhere else it is refused, and a journal that cannot be trusted changes nothing.
#include "EngineTestSupport.h"

#include "engine/PatchEngine.h"
#include "engine/PatchJournal.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace oru::patch;
using namespace oru::test;

namespace {

std::vector<TJournalRecord> SampleRecords(const std::string& dir) {
    TSha256Digest hash{};
    hash[0] = 7;
    return {{TJournalKind::Temporary, dir + "/a.dll.~oru-new", {}, {}, {}},
            {TJournalKind::Replace, dir + "/a.dll", dir + "/a.dll.~oru-new", dir + "/a.dll.~oru-old", hash},
            {TJournalKind::Delete, dir + "/b.txt", {}, dir + "/b.txt.~oru-old", hash},
            {TJournalKind::Commit, {}, {}, {}, {}}};
}

std::string WriteJournal(const TScratch& s, const std::vector<TJournalRecord>& records,
                         const std::string& folder) {
    std::string path = s.Path("target/" + std::string(kJournalName));
    TJournalWriter writer(SystemPatchFiles(), path, folder, "Z:\\pkg\\ORU.rtp");
    for (const TJournalRecord& r : records)
        writer.Append(r);
    writer.Flush();
    return path;
}

TJournal Parse(const std::string& bytes) {
    oru::TMemoryStream in(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return ReadJournal(in);
}

TEST(Journal, ACutAnywhereLeavesTheRecordsBeforeItAndDamageElsewhereIsRefused) {
    TScratch s("journal");
    s.Write("target/keep.txt", "x");
    const auto records = SampleRecords(s.Path("target"));
    WriteJournal(s, records, s.Path("target"));
    const std::string whole = s.Read("target/" + std::string(kJournalName));

    TJournal full = Parse(whole);
    EXPECT_EQ(full.Folder, s.Path("target"));
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
    const size_t lastRecord = whole.size() - (4 + 1 + 12 + 32 + 4);
    for (size_t at = 8; at < lastRecord; at += 7) {
        std::string bad = whole;
        bad[at] ^= 0x40;
        EXPECT_THROW(Parse(bad), EJournalError) << at;
    }
    EXPECT_THROW(Parse("PK\x03\x04 not a journal at all"), EJournalError);
    std::string later = whole;
    later[7] = '2'; // another version of the format
    EXPECT_THROW(Parse(later), EJournalError);
}

class JournalRun : public ::testing::Test {
  protected:
    TScratch s{"journal-run"};
    std::string patch;
    void SetUp() override {
        s.Write("old/a.dll", Noise(5000, 1));
        s.Write("new/a.dll", Noise(5000, 2));
        patch = MakePatch(s, "old", "new");
        s.Copy("old", "target");
    }
    uint32_t Run(TRecorder& rec, TEngineOptions options = {}) {
        TPatchEngine engine(SystemPatchFiles(), rec.Callback(), options);
        return engine.Apply(s.Path("target"), patch);
    }
};

TEST_F(JournalRun, AJournalThatCannotBeTrustedStopsTheRunAndChangesNothing) {
    const std::string dir = s.Path("target");
    s.Write("target/a.dll.~oru-old", "what a backup would hold");
    struct Case {
        const char* why;
        std::function<void()> make;
        const char* says;
    };
    const Case cases[] = {
        {"damaged",
         [&] {
             WriteJournal(s, SampleRecords(dir), dir);
             std::string bytes = s.Read("target/" + std::string(kJournalName));
             bytes[20] ^= 1;
             s.Write("target/" + std::string(kJournalName), bytes);
         },
         "is damaged"},
        {"another folder's", [&] { WriteJournal(s, SampleRecords(dir), s.Path("elsewhere")); }, "belongs to the folder"},
        {"naming a file of the installation as a backup",
         [&] {
             auto records = SampleRecords(dir);
             records[1].Backup = dir + "/keep.txt";
             WriteJournal(s, records, dir);
         },
         "not a temporary or backup"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(s.Path("target/" + std::string(kJournalName)));
        s.Write("target/keep.txt", "the user's");
        c.make();
        const auto snapshot = s.Snapshot("target");
        TRecorder rec;
        EXPECT_EQ(Run(rec), resRestoreFailed) << c.why;
        EXPECT_TRUE(rec.HasText(cbError, c.says)) << c.why;
        EXPECT_TRUE(rec.HasText(cbError, "Nothing was changed")) << c.why;
        EXPECT_EQ(s.Snapshot("target"), snapshot) << c.why;
    }
}

TEST_F(JournalRun, ACheckReportsAnInterruptedRunAndLeavesItForTheUpdate) {
    WriteJournal(s, {}, s.Path("target"));
    const auto snapshot = s.Snapshot("target");
    TRecorder check;
    TEngineOptions verify;
    verify.VerifyOnly = true;
    EXPECT_EQ(Run(check, verify), resOk);
    EXPECT_TRUE(check.HasText(cbWarning, "was interrupted"));
    EXPECT_EQ(s.Snapshot("target"), snapshot);

    TRecorder update;
    EXPECT_EQ(Run(update), resOk);
    EXPECT_TRUE(update.HasText(cbRestore, "An interrupted update was found and undone"));
    EXPECT_FALSE(s.Exists("target/" + std::string(kJournalName)));
    EXPECT_EQ(s.Read("target/a.dll"), s.Read("new/a.dll"));
}

} // namespace
