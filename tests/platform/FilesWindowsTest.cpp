// What only the Windows TFile has: sharing, delete-on-close, the lock region, and
// the system and Windows folders.
#include <windows.h>

#include "platform/Files.h"
#include "platform/WinHandles.h"

#include "support/Files.h"
#include "support/Scratch.h"
#include "support/SystemFolders.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {
bool Opens(const std::string& name, uint16_t mode) {
    try {
        TFile f(name, mode);
        return true;
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(e.ErrorCode, ERROR_SHARING_VIOLATION);
        return false;
    }
}
} // namespace

TEST(WindowsFile, SharingCodesDecideWhoElseMayOpen) {
    oru::test::TScratch dir;
    const std::string name = dir.Write("s.bin", "x");
    const std::tuple<uint16_t, bool, bool> rows[] = {
        // the first opener's mode; whether others may then read, write
        {fmOpenRead, false, false},
        {fmOpenRead | fmShareExclusive, false, false},
        {fmOpenRead | fmShareDenyWrite, true, false},
        {fmOpenWrite | fmShareDenyRead, false, true},
        {fmOpenRead | fmShareDenyNone, true, true},
    };
    for (const auto& [first, othersRead, othersWrite] : rows) {
        TFile f(name, first);
        EXPECT_EQ(Opens(name, fmOpenRead | fmShareDenyNone), othersRead) << std::hex << first;
        EXPECT_EQ(Opens(name, fmOpenWrite | fmShareDenyNone), othersWrite) << std::hex << first;
    }
}

TEST(WindowsFile, DeleteOnCloseAddsDeleteSharing) {
    oru::test::TScratch dir;
    const std::string name = dir.Dir() + "gone.tmp";
    DWORD share = 0;
    TFile(name, FileFlagsNormalSequential | FileFlagDeleteOnClose, fmCreate,
          [&](TFileCreateInfo& info) { share = info.ShareMode; });
    EXPECT_EQ(share, DWORD(FILE_SHARE_DELETE));
    EXPECT_FALSE(FileExists(name));
}

// The lock is the byte at 2^64 - 2, so the whole 32-bit range of data stays free
// for others.
TEST(WindowsFile, LockHoldsTheByteBeyondAnyDataUntilClose) {
    oru::test::TScratch dir;
    const std::string name = dir.Write("l.bin", "abc");
    TFile holder(name, fmLockOnOpen | fmShareDenyNone | fmOpenReadWrite);
    TFileHandle other(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    const DWORD now = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED ov = {};
    EXPECT_TRUE(::LockFileEx(other.Get(), now, 0, MAXDWORD, 0, &ov));
    EXPECT_TRUE(::UnlockFileEx(other.Get(), 0, MAXDWORD, 0, &ov));
    ov.Offset = 0xFFFFFFFE;
    ov.OffsetHigh = 0xFFFFFFFF;
    EXPECT_FALSE(::LockFileEx(other.Get(), now, 0, 1, 0, &ov));
    holder.Close();
    EXPECT_TRUE(::LockFileEx(other.Get(), now, 0, 1, 0, &ov));
}

TEST(WindowsFolders, SystemAndWindowsFoldersEndWithADelimiter) {
    EXPECT_EQ(GetSystemFolder(), oru::test::SystemFolder());
    EXPECT_EQ(GetWindowsFolder(false), oru::test::WindowsFolder());
}
