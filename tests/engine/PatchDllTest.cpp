// patchw32.dll as a host sees it: loaded by name, entry point by ordinal 1,
// called with the standard calling convention and a callback, under Wine. The
// order of the callbacks and a plain run are the engine's, proven in-process.
#include <windows.h>

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace oru::test {
namespace {

using namespace oru::patch;
using TApplyProc = uint32_t(WINAPI*)(const char* commandLine, void* callback, uint32_t flag);

TRecorder* activeRecorder = nullptr;

void* CALLBACK HostCallback(uint32_t id, void* parm) { return (*activeRecorder)(id, parm); }

class PatchDll : public ::testing::Test {
  protected:
    TScratch s{"dll"};
    std::string patch, app = s.File("target\\app.exe");
    std::map<std::string, std::string> before, after;
    HMODULE library = nullptr;
    TApplyProc apply = nullptr;

    void SetUp() override {
        library = LoadLibraryA(ORU_PATCHW32_DLL);
        ASSERT_NE(library, nullptr) << GetLastError();
        FARPROC entry = GetProcAddress(library, MAKEINTRESOURCEA(1));
        apply = reinterpret_cast<TApplyProc>(reinterpret_cast<void*>(entry));
        ASSERT_NE(apply, nullptr);
        std::string content = Noise(300000, 7);
        s.Write("old/app.exe", content);
        s.Write("old/help.txt", "help 1");
        s.Write("new/app.exe", content.replace(1000, 5, "HELLO"));
        s.Write("new/help.txt", "help 2");
        patch = MakePatch(s, "old", "new");
        s.Copy("old", "target");
        before = s.Snapshot("target");
        after = s.Snapshot("new");
    }
    void TearDown() override {
        if (library)
            FreeLibrary(library);
    }

    uint32_t Call(TRecorder& rec, uint32_t flag = 1) {
        activeRecorder = &rec;
        const std::string commandLine = "-dC \"" + s.File("target") + "\" \"" + patch + "\"";
        uint32_t result = apply(commandLine.c_str(), reinterpret_cast<void*>(&HostCallback), flag);
        activeRecorder = nullptr;
        return result & 0xFFFF;
    }
};

TEST_F(PatchDll, FileOpenedWithoutSharingIsReplacedAtRestart) {
    TRecorder rec;
    HANDLE held = INVALID_HANDLE_VALUE;
    int phaseEnds = 0;
    // Once every new file is built, another "program" opens app.exe exclusively.
    rec.Override = [&](const TCall& c, size_t, void**) {
        if (c.Id == cbPhaseEnd && ++phaseEnds == 2)
            held = CreateFileA(app.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return false;
    };
    uint32_t result = Call(rec);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CloseHandle(held);
    EXPECT_EQ(result, resOk);
    EXPECT_EQ(rec.Count(cbRestartNeeded), 1u);
    EXPECT_TRUE(rec.HasText(cbWarning, "app.exe is in use"));
    EXPECT_EQ(s.Read("target/app.exe"), before.at("app.exe"));
    EXPECT_EQ(s.Read("target/app.exe.~oru-new"), after.at("app.exe")); // waits for the restart
    EXPECT_EQ(s.Read("target/help.txt"), "help 2");
}

TEST_F(PatchDll, FileHeldFromTheStartStopsTheRunUnchanged) {
    HANDLE held = CreateFileA(app.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    TRecorder rec;
    uint32_t result = Call(rec);
    CloseHandle(held);
    EXPECT_EQ(result, resFilesDontMatch);
    EXPECT_TRUE(rec.HasText(cbError, "app.exe is in use by another program"));
    EXPECT_EQ(s.Snapshot("target"), before);
}

TEST_F(PatchDll, BadCallsAreRefused) {
    TRecorder flag;
    EXPECT_EQ(Call(flag, 2), resBadCommandLine);
    EXPECT_TRUE(flag.HasText(cbError, "flag"));
    EXPECT_EQ(apply(nullptr, reinterpret_cast<void*>(&HostCallback), 1), resBadCommandLine);
    EXPECT_EQ(s.Snapshot("target"), before);
}

} // namespace
} // namespace oru::test
