// What only the Windows TFile has: sharing, the creation record the hook sees,
// delete-on-close, and the system and Windows folders.
#include <windows.h>

#include "platform/Files.h"
#include "platform/WinHandles.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::ScratchFolder;
using oru::test::WriteWholeFile;

TEST(WindowsFile, SharingCodesDecideWhoElseMayOpen) {
    ScratchFolder dir;
    std::string name = dir / "s.bin";
    WriteWholeFile(name, "x");
    {
        TFile f(name, fmOpenRead | fmShareExclusive);
        try {
            TFile g(name, fmOpenRead | fmShareDenyNone);
            ADD_FAILURE() << "exclusive file opened twice";
        } catch (const EFileOpenError& e) {
            EXPECT_EQ(e.ErrorCode, ERROR_SHARING_VIOLATION);
        }
    }
    {
        TFile f(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_NO_THROW(TFile(name, fmOpenRead | fmShareDenyNone));
        EXPECT_THROW(TFile(name, fmOpenWrite | fmShareDenyNone), EFileOpenError);
    }
    {
        TFile f(name, fmOpenWrite | fmShareDenyRead);
        EXPECT_THROW(TFile(name, fmOpenRead | fmShareDenyNone), EFileOpenError);
        EXPECT_NO_THROW(TFile(name, fmOpenWrite | fmShareDenyNone));
    }
    // Code 0 means no sharing, like code 1.
    TFile f(name, fmOpenRead);
    EXPECT_THROW(TFile(name, fmOpenRead | fmShareDenyNone), EFileOpenError);
}

TEST(WindowsFile, HookSeesTheSystemsCreationValues) {
    ScratchFolder dir;
    std::vector<TFileCreateInfo> seen;
    auto hook = [&](TFileCreateInfo& info) { seen.push_back(info); };
    { TFile f(dir / "a", FileFlagsNormalSequential, fmCreate, hook); }
    {
        TFile f(dir / "a", FileFlagsNormalSequential,
                fmOpenOrCreate | fmOpenWrite | fmShareDenyWrite, hook);
    }
    {
        TFile f(dir / "b", FileFlagsNormalSequential,
                fmCreateNew | fmOpenReadWrite | fmShareDenyNone, hook);
    }
    { TFile f(dir / "a", FileFlagsNormalSequential, fmOpenRead | fmShareDenyRead, hook); }
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].DesiredAccess, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(seen[0].ShareMode, 0u);
    EXPECT_EQ(seen[0].CreationDisposition, DWORD(OPEN_ALWAYS));
    EXPECT_EQ(seen[1].DesiredAccess, DWORD(GENERIC_WRITE));
    EXPECT_EQ(seen[1].ShareMode, DWORD(FILE_SHARE_READ));
    EXPECT_EQ(seen[1].CreationDisposition, DWORD(OPEN_ALWAYS));
    EXPECT_EQ(seen[2].ShareMode, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(seen[2].CreationDisposition, DWORD(CREATE_NEW));
    EXPECT_EQ(seen[3].DesiredAccess, DWORD(GENERIC_READ));
    EXPECT_EQ(seen[3].ShareMode, DWORD(FILE_SHARE_WRITE));
    EXPECT_EQ(seen[3].CreationDisposition, DWORD(OPEN_EXISTING));
    for (const auto& info : seen) {
        EXPECT_EQ(info.FlagsAndAttributes, FileFlagsNormalSequential);
        EXPECT_EQ(info.SecurityAttributes, 0u);
        EXPECT_EQ(info.TemplateFile, 0u);
    }
}

TEST(WindowsFile, DeleteOnCloseAddsDeleteSharing) {
    ScratchFolder dir;
    std::string name = dir / "gone.tmp";
    DWORD share = 0;
    {
        TFile f(name, FileFlagsNormalSequential | FileFlagDeleteOnClose, fmCreate,
                [&](TFileCreateInfo& info) { share = info.ShareMode; });
        EXPECT_TRUE(FileExists(name));
    }
    EXPECT_EQ(share, DWORD(FILE_SHARE_DELETE));
    EXPECT_FALSE(FileExists(name));
}

TEST(WindowsFile, LockIsOutsideTheDataAndSurvivesOnlyUntilClose) {
    ScratchFolder dir;
    std::string name = dir / "l.bin";
    WriteWholeFile(name, "abc");
    TFile holder(name, fmLockOnOpen | fmShareDenyNone | fmOpenReadWrite);
    TFileHandle handle(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    ASSERT_TRUE(handle);
    HANDLE other = handle.Get();
    // The whole 32-bit range of the data can be locked by someone else...
    OVERLAPPED ov = {};
    EXPECT_TRUE(::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                             MAXDWORD, 0, &ov));
    EXPECT_TRUE(::UnlockFileEx(other, 0, MAXDWORD, 0, &ov));
    // ...but not the byte at 2^64 - 2.
    ov.Offset = 0xFFFFFFFE;
    ov.OffsetHigh = 0xFFFFFFFF;
    EXPECT_FALSE(
        ::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov));
    holder.Close();
    EXPECT_FALSE(holder.Locked());
    EXPECT_TRUE(
        ::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov));
}

TEST(WindowsFile, UnlockWithoutALockRaises) {
    ScratchFolder dir;
    TFile f(dir / "u.bin", fmCreate);
    try {
        f.Unlock();
        ADD_FAILURE() << "nothing raised";
    } catch (const EFileUnlockError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot unlock the file '" + dir / "u.bin" + "'.\r\n", 0), 0u);
        EXPECT_NE(e.ErrorCode, 0);
    }
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
