// A patch run killed at each of its file-system steps (the process gets SIGKILL,
// so nothing of it runs after the step): no target may be missing or damaged,
// and the next run must end with every file new and nothing of ours left.
#include "EngineTestSupport.h"

#include "engine/PatchEngine.h"
#include "engine/PatchJournal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace oru::patch;
using namespace oru::test;

namespace {

// 40 files in two folders: 20 patched, 10 added, 10 deleted.
class KilledRun : public ::testing::Test {
  protected:
    TScratch s{"kill"};
    std::string patch;
    std::map<std::string, std::string> before, after;

    void SetUp() override {
        for (int i = 0; i < 20; ++i) {
            std::string dir = i % 2 ? "sub/" : "";
            std::string old = Noise(3000 + 97 * i, i);
            std::string fresh = old;
            fresh.replace(1000, 20, "changed in version 2");
            s.Write("old/" + dir + "patched" + std::to_string(i) + ".dll", old);
            s.Write("new/" + dir + "patched" + std::to_string(i) + ".dll", fresh);
        }
        for (int i = 0; i < 10; ++i) {
            std::string dir = i % 2 ? "sub/" : "";
            s.Write("new/" + dir + "added" + std::to_string(i) + ".txt", "added " + std::to_string(i));
            s.Write("old/" + dir + "deleted" + std::to_string(i) + ".txt", "deleted " + std::to_string(i));
        }
        patch = MakePatch(s, "old", "new");
        before = s.Snapshot("old");
        after = s.Snapshot("new");
    }

    uint32_t Run(TPatchFiles& files, TRecorder& rec) {
        TPatchEngine engine(files, rec.Callback());
        return engine.Apply(s.Path("target"), patch);
    }
};

TEST_F(KilledRun, AtEveryStepNoTargetIsMissingAndTheNextRunEndsWithEveryFileNew) {
    // Kill points: every operation on names (creations, renames, replacements,
    // deletions), and every tenth write.
    TFaultyFiles counting;
    std::vector<int> points;
    counting.BeforeStep = [&](int step, const std::string& what) {
        if (what != "write" || step % 10 == 0)
            points.push_back(step);
    };
    {
        s.Copy("old", "target");
        TRecorder rec;
        ASSERT_EQ(Run(counting, rec), resOk);
        ASSERT_EQ(s.Snapshot("target"), after);
    }
    ASSERT_GE(points.size(), 119u);
    int killed = 0, recovered = 0;
    for (int k : points) {
        std::filesystem::remove_all(s.Path("target"));
        s.Copy("old", "target");
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TFaultyFiles files;
            files.BeforeStep = [k](int step, const std::string&) {
                if (step == k)
                    raise(SIGKILL);
            };
            TRecorder rec;
            _exit(Run(files, rec) == resOk ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "step " << k;
        ++killed;

        // Every target is wholly old or wholly new at the instant of the kill.
        auto now = s.Snapshot("target");
        for (const auto& [name, content] : before) {
            auto it = now.find(name);
            bool isNew = after.count(name) && it != now.end() && it->second == after.at(name);
            if (after.count(name))
                EXPECT_TRUE(it != now.end() && (it->second == content || isNew)) << name << " at step " << k;
            else if (it != now.end())
                EXPECT_EQ(it->second, content) << name << " at step " << k;
        }
        for (const auto& [name, content] : after)
            if (!before.count(name) && now.count(name))
                EXPECT_EQ(now.at(name), content) << name << " at step " << k;

        const bool interrupted = s.Exists("target/" + std::string(kJournalName));
        TRecorder rec;
        EXPECT_EQ(Run(SystemPatchFiles(), rec), resOk) << "step " << k;
        EXPECT_EQ(s.Snapshot("target"), after) << "step " << k;
        if (interrupted) {
            ++recovered;
            EXPECT_TRUE(rec.HasText(cbRestore, "An interrupted update was found")) << "step " << k;
        }
    }
    EXPECT_EQ(killed, static_cast<int>(points.size()));
    EXPECT_GT(recovered, killed / 2);
}

} // namespace
