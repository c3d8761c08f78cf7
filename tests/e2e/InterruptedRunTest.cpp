// A user ends ORUUpdate.exe in the middle of its patch step, as the task manager,
// a log-off or a shutdown would, and starts it again with the same package: the
// installation is never left with a file missing or cut short, and the second run
// puts things right by itself before it updates. The engine's own test kills a run
// at every step; this is the Windows build, killed once its swaps have begun.
#include <windows.h>

#include "UpdateRunDriver.h"
#include "support/Noise.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace oru::test;
using ::testing::Contains;
using ::testing::StartsWith;

namespace {

struct TVersions {
    std::string Old, New;
};

bool Present(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    return h != INVALID_HANDLE_VALUE && FindClose(h);
}

TEST(InterruptedRun, AKilledPatchStepIsPutRightByTheNextRun) {
    // Patched, added and deleted files; the large table keeps the engine busy long
    // enough for the kill to land inside its work.
    std::string table = Noise(12 << 20, 1), newTable = table;
    for (size_t at = 4096; at < newTable.size(); at += 1 << 20)
        newTable.replace(at, 64, Noise(64, static_cast<unsigned>(at)));
    std::map<std::string, TVersions> files = {
        {"parcelon.exe", {"MZ old program", "MZ new program"}},
        {"Data\\tables.dat", {table, newTable}},
        {"Data\\old.dat", {"obsolete", ""}},
        {"Data\\added.dat", {"", "added"}},
        {"Help\\parcelon.hlp", {"old help", "new help"}},
    };
    for (int i = 0; i < 40; ++i) {
        const std::string county = "county " + std::to_string(i);
        files["Data\\county" + std::to_string(i) + ".dat"] = {county, county + " v2"};
    }
    TUpdateLayout layout("e2e-killed");
    for (const auto& [name, v] : files) {
        if (!v.Old.empty())
            layout.Install(name, v.Old);
        for (const auto& [tree, bytes] : {std::pair{"old/", v.Old}, {"new/", v.New}})
            if (!bytes.empty())
                layout.Source(tree + name, bytes);
    }
    layout.BuildPackage("version: 01.23.00.00\npatch-old: old\npatch-new: new\nengine: " +
                        EngineLibrary() + "\n");

    // The first old file has been kept as a backup: the swaps have begun.
    TRunOptions killed;
    killed.KillWhen = [&] { return Present(layout.InstallDir() + "Data\\*.~oru-old"); };
    ASSERT_TRUE(RunUpdate(layout, killed).Killed) << "the patch step never began";
    // Each file wholly old or wholly new; a file only one version has may be absent.
    for (const auto& [name, v] : files) {
        const std::string now = layout.Installed(name);
        const bool mayBeMissing = v.Old.empty() || v.New.empty();
        EXPECT_TRUE(now == v.Old || now == v.New || (now == "<missing>" && mayBeMissing)) << name;
    }
    ASSERT_TRUE(FileExists(layout.InstallDir() + "ORUPATCH.~oru-journal"))
        << "the kill came after the patch step";

    TRunOutcome again = RunUpdate(layout);

    EXPECT_TRUE(again.Ended);
    EXPECT_THAT(again.History, Contains(StartsWith("An interrupted update was found and ")));
    EXPECT_THAT(again.History, Contains("ORU Parcelon is updated to version 01.23.00.00."));
    for (const auto& [name, v] : files)
        EXPECT_EQ(layout.Installed(name), v.New.empty() ? "<missing>" : v.New) << name;
    // Nothing of the killed run is left: no journal, backup or temporary.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(layout.InstallDir())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find("~oru"), std::string::npos) << entry.path().string();
    }
}

} // namespace
