// The Windows half of the file utilities: message shapes against the system's own
// texts, folder creation on a real disk, temporary files and file times.
#include <windows.h>

#include "platform/FileUtilsWindows.h"
#include "platform/PathUtilsX.h"
#include "platform/WinHandles.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::ReadWholeFile;
using oru::test::TScratch;
using oru::test::WriteWholeFile;

namespace {

// FormatMessageA's text for a code without its line break and final full stop.
std::string SystemText(DWORD code) {
    TLocalMemory owned;
    char* raw = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<LPSTR>(&raw), 0, nullptr);
    owned.Reset(raw);
    std::string text = n ? std::string(raw, n) : std::string();
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string MessageOf(void (*raise)()) {
    try {
        raise();
    } catch (const EFileError& e) {
        return e.Message() + "|" + std::to_string(e.ErrorCode);
    }
    return "nothing raised";
}

} // namespace

TEST(WindowsErrors, MessagesCarryTheSystemTextAndCode) {
    ASSERT_FALSE(SystemText(2).empty());
    EXPECT_EQ(MessageOf([] {
                  ::SetLastError(ERROR_FILE_NOT_FOUND);
                  RaiseOpenError("Z:\\none\\f.bin");
              }),
              "Cannot open the file 'Z:\\none\\f.bin'.\r\n" + SystemText(2) + " (2)|2");
    // No last error: the generic-failure text and no code.
    EXPECT_EQ(MessageOf([] {
                  ::SetLastError(0);
                  RaiseFileError(FileErrorKind::Lock, "f", "Oops with '%s'");
              }),
              "Oops with 'f'.\r\n" + SystemText(static_cast<DWORD>(E_FAIL)) + "|0");
    ::SetLastError(1234);
    EXPECT_EQ(SystemErrorMessage(5), SystemText(5));
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), "");
    EXPECT_EQ(::GetLastError(), 1234u);
}

TEST(WindowsFolders, AFileInTheWayOfAFolderIsReportedWithTheSystemsReason) {
    TScratch dir;
    // A file where a folder should be: nothing below it can be made, and the
    // system's reason is in the message.
    WriteWholeFile(dir.Dir() + "file", "x");
    EXPECT_FALSE(ForceDirectories(dir.Dir() + "file\\sub\\deeper"));
    EXPECT_FALSE(DirectoryExists(dir.Dir() + "file\\sub"));
    try {
        CheckForceDirectories(dir.Dir() + "file\\sub");
        ADD_FAILURE() << "nothing raised";
    } catch (const EFileError& e) {
        EXPECT_NE(e.ErrorCode, 0);
        EXPECT_EQ(e.Message(),
                  AppendSystemError("Cannot create the directory '" + dir.Dir() + "file\\sub" + "'",
                                    e.ErrorCode));
    }
}

TEST(WindowsFolders, TemporaryFilesShareTheProgramsCachedFolder) {
    std::string a = FileUtils().CreateTempFile("", "");
    std::string cached = GetTempFolder() + "platform_windows_tests\\";
    EXPECT_EQ(ExtractFilePath(a), cached);
    EXPECT_EQ(a.substr(cached.size(), 3), "pla"); // the system takes three characters
    // Removed at the end only when empty.
    ReleaseTempLocation();
    EXPECT_TRUE(DirectoryExists(cached));
    EXPECT_TRUE(FileSetAttr(a, 0) && DeleteFile(a));
    std::string folder, prefix;
    FileUtils().GetTempLocation(folder, prefix);
    ReleaseTempLocation();
    EXPECT_FALSE(DirectoryExists(cached));
}

TEST(WindowsFiles, RenameReplacesAndReadOnlyProtects) {
    TScratch dir;
    std::string from = dir.Dir() + "from.txt", to = dir.Dir() + "to.txt";
    WriteWholeFile(from, "new");
    WriteWholeFile(to, "old");
    EXPECT_TRUE(RenameFileReplace(from, to));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(ReadWholeFile(to), "new");
    EXPECT_TRUE(FileSetAttr(to, faReadOnly));
    EXPECT_FALSE(DeleteFile(to));
    EXPECT_TRUE(FileSetAttr(to, 0) && DeleteFile(to));
    EXPECT_EQ(FileGetAttr(to), -1);
    EXPECT_FALSE(FileExists(dir.Dir()));
}

TEST(WindowsFiles, FileTimesComeFromTheDirectoryEntryInLocalTime) {
    TScratch dir;
    std::string name = dir.Dir() + "t.txt";
    WriteWholeFile(name, "x");
    // 1 January 2010, 00:00 UTC for creation, one day later for access, two for writing.
    const uint64_t jan2010 = 0x01CA8A755C6E0000ULL, day = 864000000000ULL;
    auto at = [](uint64_t v) { return FILETIME{DWORD(v), DWORD(v >> 32)}; };
    FILETIME created = at(jan2010), accessed = at(jan2010 + day), written = at(jan2010 + 2 * day);
    {
        TFileHandle h(::CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr));
        ASSERT_TRUE(h && ::SetFileTime(h.Get(), &created, &accessed, &written));
    }
    TDateTime local = 0;
    ASSERT_TRUE(FileUtils().FileTimeToLocalDateTime(jan2010, local));

    TFileTimes times;
    FileUtils().GetFileTimes(name, times);
    EXPECT_NEAR(times.LastAccessed, local + 1, 1e-6);
    EXPECT_NEAR(times.LastWritten, local + 2, 1e-6);
    // Wine keeps no creation time on Linux file systems and shows another stamp there.
    EXPECT_GE(times.Created, local - 1e-6);
    EXPECT_LE(times.Created, local + 2 + 1e-6);
}
