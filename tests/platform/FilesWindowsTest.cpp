// What only the Windows TFile has: sharing, the creation record the hook sees,
// delete-on-close, the lock region, and the system and Windows folders.
#include <windows.h>

#include "platform/Files.h"
#include "platform/WinHandles.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::TScratch;
using oru::test::WriteWholeFile;

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
    TScratch dir;
    std::string name = dir.Dir() + "s.bin";
    WriteWholeFile(name, "x");
    const uint16_t read = fmOpenRead | fmShareDenyNone, write = fmOpenWrite | fmShareDenyNone;
    struct Case {
        uint16_t first;
        bool othersRead, othersWrite;
    };
    for (Case c :
         {Case{fmOpenRead, false, false}, Case{fmOpenRead | fmShareExclusive, false, false},
          Case{fmOpenRead | fmShareDenyWrite, true, false},
          Case{fmOpenWrite | fmShareDenyRead, false, true},
          Case{fmOpenRead | fmShareDenyNone, true, true}}) {
        TFile f(name, c.first);
        EXPECT_EQ(Opens(name, read), c.othersRead) << std::hex << c.first;
        EXPECT_EQ(Opens(name, write), c.othersWrite) << std::hex << c.first;
    }
}

TEST(WindowsFile, DeleteOnCloseAddsDeleteSharing) {
    TScratch dir;
    std::string name = dir.Dir() + "gone.tmp";
    DWORD share = 0;
    {
        TFile f(name, FileFlagsNormalSequential | FileFlagDeleteOnClose, fmCreate,
                [&](TFileCreateInfo& info) { share = info.ShareMode; });
        EXPECT_TRUE(FileExists(name));
    }
    EXPECT_EQ(share, DWORD(FILE_SHARE_DELETE));
    EXPECT_FALSE(FileExists(name));
}

TEST(WindowsFile, LockHoldsTheByteBeyondAnyDataUntilClose) {
    TScratch dir;
    std::string name = dir.Dir() + "l.bin";
    WriteWholeFile(name, "abc");
    TFile holder(name, fmLockOnOpen | fmShareDenyNone | fmOpenReadWrite);
    TFileHandle other(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    ASSERT_TRUE(other);
    const DWORD now = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    // The whole 32-bit range of data stays free for others...
    OVERLAPPED ov = {};
    EXPECT_TRUE(::LockFileEx(other.Get(), now, 0, MAXDWORD, 0, &ov));
    EXPECT_TRUE(::UnlockFileEx(other.Get(), 0, MAXDWORD, 0, &ov));
    // ...but not the byte at 2^64 - 2.
    ov.Offset = 0xFFFFFFFE;
    ov.OffsetHigh = 0xFFFFFFFF;
    EXPECT_FALSE(::LockFileEx(other.Get(), now, 0, 1, 0, &ov));
    holder.Close();
    EXPECT_FALSE(holder.Locked());
    EXPECT_TRUE(::LockFileEx(other.Get(), now, 0, 1, 0, &ov));
    // Unlocking what this object does not hold is an error of its own kind.
    TFile plain(name, fmOpenRead | fmShareDenyNone);
    EXPECT_THROW(plain.Unlock(), EFileUnlockError);
}

TEST(WindowsFolders, SystemAndWindowsFoldersEndWithADelimiter) {
    char sys[MAX_PATH + 1] = {}, win[MAX_PATH + 1] = {};
    ::GetSystemDirectoryA(sys, sizeof sys);
    ::GetWindowsDirectoryA(win, sizeof win);
    EXPECT_EQ(GetSystemFolder(), std::string(sys) + "\\");
    EXPECT_EQ(GetWindowsFolder(false), std::string(win) + "\\");
    std::string shared = GetWindowsFolder(true);
    ASSERT_FALSE(shared.empty());
    EXPECT_EQ(shared.back(), '\\');
    EXPECT_TRUE(DirectoryExists(shared));
}
