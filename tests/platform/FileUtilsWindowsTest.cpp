// The Windows half of the file utilities: message shapes against the system's own
// texts, folder creation on a real disk, temporary files and the plain file routines.
#include <windows.h>

#include "platform/FileUtilsWindows.h"
#include "platform/PathUtilsX.h"
#include "platform/WinHandles.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::ReadWholeFile;
using oru::test::ScratchFolder;
using oru::test::WriteWholeFile;

namespace {

// FormatMessageA's text for a code as a user would read it, without the trailing
// line break and full stop.
std::string SystemText(DWORD code) {
    char* raw = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<LPSTR>(&raw), 0, nullptr);
    std::string text = n ? std::string(raw, n) : std::string();
    ::LocalFree(raw);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

template <typename E, typename F> E Raised(F&& call) {
    try {
        call();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return E("", 0);
}

} // namespace

TEST(WindowsErrors, OpenErrorCarriesTheSystemTextAndCode) {
    std::string name = "Z:\\no such folder\\file.bin";
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    auto e = Raised<EFileOpenError>([&] { RaiseOpenError(name); });
    ASSERT_FALSE(SystemText(2).empty());
    EXPECT_EQ(e.Message(), "Cannot open the file '" + name + "'.\r\n" + SystemText(2) + " (2)");
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_EQ(SystemErrorMessage(5), SystemText(5));
}

TEST(WindowsErrors, NoLastErrorGivesTheGenericTextWithoutCode) {
    ::SetLastError(0);
    auto e =
        Raised<EFileError>([] { RaiseFileError(FileErrorKind::Generic, "f", "Oops with '%s'"); });
    EXPECT_EQ(e.Message(), "Oops with 'f'.\r\n" + SystemText(static_cast<DWORD>(E_FAIL)));
    EXPECT_EQ(e.ErrorCode, 0);
}

TEST(WindowsErrors, EachKindRaisesItsClass) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_THROW(RaiseFileError(FileErrorKind::Lock, "f", "%s"), EFileLockError);
    EXPECT_THROW(RaiseFileError(FileErrorKind::Unlock, "f", "%s"), EFileUnlockError);
    EXPECT_THROW(RaiseSeekError("f"), EFileSeekError);
    EXPECT_THROW(RaiseReadError("f"), EFileReadError);
    EXPECT_THROW(RaiseWriteError("f"), EFileWriteError);
    auto e = Raised<EFileUnlockError>([] { RaiseFileError(FileErrorKind::Unlock, "f", "%s"); });
    EXPECT_EQ(e.ErrorCode, ERROR_ACCESS_DENIED);
}

TEST(WindowsErrors, UnknownCodeHasNoTextAndKeepsTheLastError) {
    ::SetLastError(1234);
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), "");
    EXPECT_EQ(::GetLastError(), 1234u);
}

TEST(WindowsFolders, ForceDirectoriesOnARealDisk) {
    ScratchFolder dir;
    EXPECT_TRUE(ForceDirectories(""));
    EXPECT_TRUE(ForceDirectories("Z:\\"));
    EXPECT_TRUE(ForceDirectories("Z:"));

    EXPECT_TRUE(ForceDirectories(dir / "a\\b\\c\\"));
    EXPECT_TRUE(DirectoryExists(dir / "a\\b\\c"));

    // A file where a folder should be: nothing below it can be made.
    WriteWholeFile(dir / "file", "x");
    EXPECT_FALSE(ForceDirectories(dir / "file\\sub\\deeper"));
    EXPECT_FALSE(DirectoryExists(dir / "file\\sub"));
    auto e = Raised<EFileError>([&] { CheckForceDirectories(dir / "file\\sub"); });
    EXPECT_EQ(e.Message().rfind("Cannot create the directory '" + dir / "file\\sub" + "'.\r\n", 0),
              0u)
        << e.Message();
    EXPECT_NE(e.ErrorCode, 0);
}

TEST(WindowsFolders, TemporaryFilesShareTheProgramsCachedFolder) {
    std::string a = FileUtils().CreateTempFile("", "");
    std::string b = FileUtils().CreateTempFile("", "");
    std::string cached = GetTempFolder() + DefaultTempName() + "\\";
    EXPECT_EQ(DefaultTempName(), "platform_windows_tests");
    EXPECT_NE(a, b);
    EXPECT_EQ(ExtractFilePath(a), cached);
    EXPECT_EQ(ExtractFilePath(b), cached);
    // The system takes three characters of the prefix.
    EXPECT_EQ(a.substr(cached.size(), 3), "pla");
    EXPECT_TRUE(FileExists(a));
    EXPECT_NE(FileGetAttr(a) & faHidden, 0);

    // Removed at the end only when empty.
    ReleaseTempLocation();
    EXPECT_TRUE(DirectoryExists(cached));
    FileSetAttr(a, 0);
    FileSetAttr(b, 0);
    EXPECT_TRUE(DeleteFile(a));
    EXPECT_TRUE(DeleteFile(b));
    std::string c = FileUtils().CreateTempFile("", "x"); // makes the cache again
    EXPECT_EQ(ExtractFilePath(c), cached);
    FileSetAttr(c, 0);
    DeleteFile(c);
    ReleaseTempLocation();
    EXPECT_FALSE(DirectoryExists(cached));
}

namespace {
// Skips the folder preparation so the system call itself meets a missing folder.
class NoPreparation : public TFileUtilsWindows {
  public:
    void GetTempLocation(std::string&, std::string& prefix) override { prefix = "t"; }
};
} // namespace

TEST(WindowsFolders, TemporaryFileInAMissingFolderIsAnOsError) {
    ScratchFolder dir;
    NoPreparation impl;
    SetFileUtils(&impl);
    std::string folder = dir / "missing\\";
    try {
        FileUtils().CreateTempFile(folder, "");
        ADD_FAILURE() << "nothing raised";
    } catch (const EOSError& e) {
        EXPECT_NE(e.ErrorCode, 0u);
        EXPECT_EQ(e.Message(), "Cannot create a temporary file or folder in '" + folder + "'.\r\n" +
                                   SystemText(e.ErrorCode) + " (" + std::to_string(e.ErrorCode) +
                                   ")");
    }
    SetFileUtils(nullptr);
}

TEST(WindowsFiles, PlainRoutines) {
    ScratchFolder dir;
    std::string from = dir / "from.txt", to = dir / "to.txt";
    WriteWholeFile(from, "new");
    WriteWholeFile(to, "old");
    EXPECT_TRUE(FileExists(from));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_TRUE(RenameFileReplace(from, to));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(ReadWholeFile(to), "new");

    EXPECT_TRUE(FileSetAttr(to, faReadOnly));
    EXPECT_EQ(FileGetAttr(to) & faReadOnly, faReadOnly);
    EXPECT_FALSE(DeleteFile(to));
    EXPECT_TRUE(FileSetAttr(to, 0));
    EXPECT_TRUE(DeleteFile(to));
    EXPECT_EQ(FileGetAttr(to), -1);
    EXPECT_NE(FileGetAttr(dir.Path()) & faDirectory, 0);

    EXPECT_TRUE(CreateDirectory(dir / "d"));
    EXPECT_FALSE(CreateDirectory(dir / "d"));
    EXPECT_TRUE(RemoveDir(dir / "d"));
}

TEST(WindowsFiles, FileTimesComeFromTheDirectoryEntry) {
    ScratchFolder dir;
    std::string name = dir / "t.txt";
    WriteWholeFile(name, "x");
    TFileHandle h(
        ::CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(h);
    // 1 January 2010, 00:00 UTC for creation, one day later for access, two for writing.
    const uint64_t jan2010 = 0x01CA8A755C6E0000ULL, day = 864000000000ULL;
    auto at = [](uint64_t v) {
        return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
    };
    FILETIME created = at(jan2010), accessed = at(jan2010 + day), written = at(jan2010 + 2 * day);
    ASSERT_TRUE(::SetFileTime(h.Get(), &created, &accessed, &written));
    h.Reset();

    TDateTime utc = 0;
    ASSERT_TRUE(FileUtils().FileTimeToDateTime(jan2010, utc, false));
    EXPECT_DOUBLE_EQ(utc, 40179.0); // 1 January 2010

    TFileTimes times;
    FileUtils().GetFileTimes(name, times);
    TDateTime local = 0;
    ASSERT_TRUE(FileUtils().FileTimeToLocalDateTime(jan2010, local));
    EXPECT_NEAR(times.LastAccessed, local + 1, 1e-6);
    EXPECT_NEAR(times.LastWritten, local + 2, 1e-6);
    // Wine keeps no creation time on Linux file systems; there it shows another stamp.
    EXPECT_GE(times.Created, local);
    EXPECT_LE(times.Created, local + 2 + 1e-6);
    EXPECT_EQ(FileUtils().FileCreated(name), times.Created);
    EXPECT_EQ(FileUtils().FileAccessed(name), times.LastAccessed);

    FileUtils().GetFileTimes(dir / "missing", times);
    EXPECT_EQ(times.Created, 0);
    EXPECT_EQ(times.LastWritten, 0);
}
