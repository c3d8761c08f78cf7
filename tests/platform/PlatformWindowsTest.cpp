// What only the Windows half of the platform layer has: the raisers' last error,
// real-disk folders, temporary files and renames; TFile's sharing, delete-on-close
// and lock region; the path rules and the system's folders; and the settings store
// against the registry of the test's private Wine prefix, on product keys of the
// tests' own.
#include <windows.h>

#include "platform/FileUtilsWindows.h"
#include "platform/FileUtilsX.h"
#include "platform/Files.h"
#include "platform/PathUtilsWindows.h"
#include "platform/PathUtilsX.h"
#include "platform/SoftReg.h"
#include "platform/WinHandles.h"

#include "support/Files.h"
#include "support/MessageOf.h"
#include "support/RegistryKey.h"
#include "support/Scratch.h"
#include "support/SystemFolders.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::MessageOf;
using oru::test::TTestProduct;

TEST(WindowsErrors, RaisersTakeTheLastError) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(MessageOf<EFileOpenError>([] { RaiseOpenError("Z:\\none\\f.bin"); }),
              "Cannot open the file 'Z:\\none\\f.bin'.\r\n" + SystemErrorMessage(2) + " (2)");
    // No last error: the generic-failure text and no code.
    ::SetLastError(0);
    EXPECT_EQ(MessageOf<EFileError>([] { RaiseFileError(FileErrorKind::Lock, "f", "Oops with '%s'"); }),
              "Oops with 'f'.\r\n" + SystemErrorMessage(ErrorCodeFail));
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), "");
}

TEST(WindowsFolders, AFileInTheWayOfAFolderStopsItsCreation) {
    oru::test::TScratch dir;
    oru::test::WriteWholeFile(dir.Dir() + "file", "x");
    EXPECT_FALSE(ForceDirectories(dir.Dir() + "file\\sub\\deeper"));
    EXPECT_THROW(CheckForceDirectories(dir.Dir() + "file\\sub"), EFileError);
}

// Nothing in the program makes temporary files yet: one case.
TEST(WindowsFolders, TemporaryFilesShareTheProgramsCachedFolderRemovedOnlyWhenEmpty) {
    const std::string a = FileUtils().CreateTempFile("", "");
    const std::string cached = GetTempFolder() + "platform_windows_tests\\";
    EXPECT_EQ(ExtractFilePath(a), cached);
    ReleaseTempLocation();
    EXPECT_TRUE(DirectoryExists(cached));
    EXPECT_TRUE(FileSetAttr(a, 0) && DeleteFile(a));
    std::string folder, prefix;
    FileUtils().GetTempLocation(folder, prefix);
    ReleaseTempLocation();
    EXPECT_FALSE(DirectoryExists(cached));
}

TEST(WindowsFiles, RenameReplacesAndReadOnlyProtects) {
    oru::test::TScratch dir;
    const std::string from = dir.Write("from.txt", "new"), to = dir.Write("to.txt", "old");
    EXPECT_TRUE(RenameFileReplace(from, to));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(oru::test::ReadWholeFile(to), "new");
    EXPECT_TRUE(FileSetAttr(to, faReadOnly));
    EXPECT_FALSE(DeleteFile(to));
    EXPECT_TRUE(FileSetAttr(to, 0) && DeleteFile(to));
}

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

TEST(PathRules, FolderPartEndsAtBackslashOrColonOnlyAndEmptyGetsADelimiterOnlyWhenAsked) {
    const std::tuple<const char*, bool, const char*> folders[] = {
        {"C:\\dir\\file.txt", true, "C:\\dir\\"}, {"C:\\dir\\file.txt", false, "C:\\dir"},
        {"C:file.txt", true, "C:"},               {"C:\\", false, "C:"},
        {"a/b/c.txt", true, ""},                  {"x\\a/b", true, "x\\"},
    };
    for (const auto& [path, withDelimiter, folder] : folders)
        EXPECT_EQ(ExtractFilePath(path, withDelimiter), folder) << path;
    EXPECT_EQ(IncludeTrailingDelimiter(""), "");
    EXPECT_EQ(IncludeTrailingDelimiter("", false), "\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(IncludeTrailingDelimiter("a/"), "a/\\");
}

// Nothing in the program asks for a long name but the temporary folder: the
// short-name case and a path that must come back unchanged are enough.
TEST(LongPath, ShortFolderNamesBecomeLongAndMissingPathsStay) {
    oru::test::TScratch dir;
    const std::string full = dir.Dir() + "A Rather Long Folder Name\\Second Long Level";
    ASSERT_TRUE(ForceDirectories(full));
    char shortName[MAX_PATH + 1] = {};
    ASSERT_GT(::GetShortPathNameA(full.c_str(), shortName, sizeof shortName), 0u);
    ASSERT_NE(std::string(shortName), full) << "no short names on this file system";
    EXPECT_EQ(PathUtils().LongPathName(shortName),
              PathUtils().LongPathName(dir.Dir()) + "A Rather Long Folder Name\\Second Long Level\\");
    EXPECT_EQ(PathUtils().LongPathName(dir.Dir() + "missing\\deeper"), dir.Dir() + "missing\\deeper");
}

TEST(SystemPaths, TemporaryFolderIsTheLongFormWithADelimiter) {
    char raw[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathA(sizeof raw, raw), 0u);
    EXPECT_EQ(GetTempFolder(), IncludeTrailingDelimiter(PathUtils().LongPathName(raw)));
}

// Nothing in the program asks for these yet; one answer each is enough.
TEST(SystemPaths, ShellFoldersAndProfile) {
    std::string common, local;
    EXPECT_EQ(PathUtils().GetCommonAppDataFolder(common), 0);
    EXPECT_TRUE(DirectoryExists(common));
    EXPECT_EQ(PathUtils().GetLocalAppDataFolder(local), 0);
    EXPECT_NE(local, common);
    EXPECT_FALSE(PathUtils().GetUserProfileFolder().empty());
}

TEST(SoftReg, ReadsOnlyPlainStringsAndMakesAMissingKeyOnlyWhenAsked) {
    TTestProduct product;
    product.Set("ORU_PATH", "C:\\Apps\\Parcelon\\");
    product.Set("Expand", "%WINDIR%\\x", REG_EXPAND_SZ);
    product.Set("Number", "abc", REG_DWORD);
    product.Set("Embedded", std::string("ab\0cd", 5));
    product.Set("Empty", "");
    TSoftReg store("Oru Software", product.Name());
    EXPECT_FALSE(store.OpenKey(nullptr, "Paths", false)); // no scope chosen yet
    store.SetScope(TSoftReg::ScopeLocalMachine);
    TRegKey key = store.OpenKey(nullptr, "Paths", false);
    ASSERT_TRUE(key);
    // A value stored without its terminating zero is read whole all the same.
    ASSERT_EQ(::RegSetValueExA(key.Get(), "Unterminated", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>("xyz"), 3),
              ERROR_SUCCESS);
    const std::pair<const char*, const char*> rows[] = {
        {"ORU_PATH", "C:\\Apps\\Parcelon\\"}, {"Expand", "def"}, {"Number", "def"},
        {"Embedded", "ab"}, {"Unterminated", "xyz"}, {"Empty", ""}, {"Missing", "def"},
    };
    for (const auto& [name, value] : rows)
        EXPECT_EQ(store.ReadString(key.Get(), name, "def"), value) << name;
    // No key: the store's own key, where the value does not live.
    EXPECT_EQ(store.ReadString(nullptr, "ORU_PATH", "def"), "def");
    EXPECT_FALSE(store.OpenKey(nullptr, "New", false));
    EXPECT_TRUE(store.OpenKey(nullptr, "New", true));
    EXPECT_TRUE(store.OpenKey(nullptr, "New", false));
}

// Nothing in the program changes the names or handles the open: one case each.
TEST(SoftReg, ChangingANameClosesTheKeyAndTheHandlerMaySupplyIt) {
    TTestProduct first, second;
    second.Set("Which", "second");
    auto which = [](TSoftReg& store) {
        TRegKey paths = store.OpenKey(nullptr, "Paths", false);
        return store.ReadString(paths.Get(), "Which", "");
    };
    TSoftReg store("Oru Software", first.Name());
    store.SetScope(TSoftReg::ScopeLocalMachine);
    store.SetProduct(second.Name());
    EXPECT_EQ(store.Key(), nullptr);
    store.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(which(store), "second");

    TSoftReg handled("Oru Software", first.Name());
    handled.OnOpenKey = [&](TSoftReg&, uint8_t scope, bool& allow, TRegKeyHandle& key) {
        allow = false;
        HKEY k = nullptr;
        if (scope == TSoftReg::ScopeLocalMachine)
            ::RegOpenKeyA(HKEY_LOCAL_MACHINE, (oru::test::kCompanyKey + second.Name()).c_str(), &k);
        key = k;
    };
    handled.SetScope(TSoftReg::ScopeLocalMachine);
    EXPECT_EQ(which(handled), "second");
}
