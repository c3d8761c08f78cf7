// The Windows half of the file utilities: message shapes against the system's own
// texts, folder creation on a real disk, temporary files and renames.
#include <windows.h>

#include "platform/FileUtilsWindows.h"
#include "platform/PathUtilsX.h"
#include "platform/WinHandles.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace oru;
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

// The message and the code of the file error a call raises.
template <typename F> std::string Raised(F&& raise) {
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
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Raised([] { RaiseOpenError("Z:\\none\\f.bin"); }),
              "Cannot open the file 'Z:\\none\\f.bin'.\r\n" + SystemText(2) + " (2)|2");
    // No last error: the generic-failure text and no code.
    ::SetLastError(0);
    EXPECT_EQ(Raised([] { RaiseFileError(FileErrorKind::Lock, "f", "Oops with '%s'"); }),
              "Oops with 'f'.\r\n" + SystemText(static_cast<DWORD>(E_FAIL)) + "|0");
    ::SetLastError(1234);
    EXPECT_EQ(SystemErrorMessage(5), SystemText(5));
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), "");
    EXPECT_EQ(::GetLastError(), 1234u);
}

// A file where a folder should be: nothing below it can be made, and the
// system's reason is in the message.
TEST(WindowsFolders, AFileInTheWayOfAFolderIsReportedWithTheSystemsReason) {
    oru::test::TScratch dir;
    WriteWholeFile(dir.Dir() + "file", "x");
    EXPECT_FALSE(ForceDirectories(dir.Dir() + "file\\sub\\deeper"));
    const std::string raised = Raised([&] { CheckForceDirectories(dir.Dir() + "file\\sub"); });
    const std::string code = raised.substr(raised.rfind('|') + 1);
    EXPECT_NE(code, "0");
    EXPECT_EQ(raised, AppendSystemError("Cannot create the directory '" + dir.Dir() + "file\\sub'",
                                        std::stoi(code)) + "|" + code);
}

TEST(WindowsFolders, TemporaryFilesShareTheProgramsCachedFolderRemovedOnlyWhenEmpty) {
    const std::string a = FileUtils().CreateTempFile("", "");
    const std::string cached = GetTempFolder() + "platform_windows_tests\\";
    EXPECT_EQ(ExtractFilePath(a), cached);
    EXPECT_EQ(a.substr(cached.size(), 3), "pla"); // the system takes three characters
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
    EXPECT_EQ(FileGetAttr(to), -1);
}
