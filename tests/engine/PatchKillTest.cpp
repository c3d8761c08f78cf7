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

namespace oru::test {
namespace {

using namespace oru::patch;

TEST(KilledRun, AtEveryStepNoTargetIsMissingAndTheNextRunEndsWithEveryFileNew) {
    // 40 files in two folders: 20 patched, 10 added, 10 deleted.
    TScratch s("kill");
    for (int i = 0; i < 20; ++i) {
        const std::string name = (i % 2 ? "sub/patched" : "patched") + std::to_string(i) + ".dll";
        std::string old = Noise(3000 + 97 * i, i);
        s.Write("old/" + name, old);
        s.Write("new/" + name, old.replace(1000, 20, "changed in version 2"));
    }
    for (int i = 0; i < 10; ++i) {
        const std::string dir = i % 2 ? "sub/" : "", n = std::to_string(i);
        s.Write("new/" + dir + "added" + n + ".txt", "added " + n);
        s.Write("old/" + dir + "deleted" + n + ".txt", "deleted " + n);
    }
    const std::string patch = MakePatch(s, "old", "new");
    const auto before = Tree(s, "old"), after = Tree(s, "new");
    auto run = [&](TPatchFiles& files) {
        TRecorder rec;
        const uint32_t result = TPatchEngine(files, rec.Callback()).Apply(s.File("target"), patch);
        return std::make_pair(result, rec);
    };

    // Kill points: every operation on names (creations, renames, replacements,
    // deletions), and every tenth write.
    TFaultyFiles counting;
    std::vector<int> points;
    counting.BeforeStep = [&](int step, const std::string& what) {
        if (what != "write" || step % 10 == 0)
            points.push_back(step);
    };
    s.Copy("old", "target");
    ASSERT_EQ(run(counting).first, resOk);
    ASSERT_EQ(Tree(s, "target"), after);
    ASSERT_GE(points.size(), 119u);

    int recovered = 0;
    for (int k : points) {
        fs::remove_all(s.File("target"));
        s.Copy("old", "target");
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TFaultyFiles files;
            files.BeforeStep = [k](int step, const std::string&) {
                if (step == k)
                    raise(SIGKILL);
            };
            _exit(run(files).first == resOk ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "step " << k;

        // Every target is wholly old or wholly new at the instant of the kill.
        auto now = Tree(s, "target");
        for (const auto& [name, content] : before) {
            auto it = now.find(name);
            if (after.count(name))
                EXPECT_TRUE(it != now.end() &&
                            (it->second == content || it->second == after.at(name)))
                    << name << " at step " << k;
            else if (it != now.end())
                EXPECT_EQ(it->second, content) << name << " at step " << k;
        }
        for (const auto& [name, content] : after)
            if (!before.count(name) && now.count(name))
                EXPECT_EQ(now.at(name), content) << name << " at step " << k;

        const bool interrupted = s.Exists("target/" + std::string(kJournalName));
        auto [result, rec] = run(SystemPatchFiles());
        EXPECT_EQ(result, resOk) << "step " << k;
        EXPECT_EQ(Tree(s, "target"), after) << "step " << k;
        if (interrupted) {
            ++recovered;
            EXPECT_TRUE(rec.HasText(cbRestore, "An interrupted update was found")) << "step " << k;
        }
    }
    EXPECT_GT(recovered, static_cast<int>(points.size()) / 2);
}

} // namespace
} // namespace oru::test
