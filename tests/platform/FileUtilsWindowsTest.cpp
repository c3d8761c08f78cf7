// The Windows half of the file utilities: the raisers take the last error,
// folder creation on a real disk, temporary files and renames.
#include <windows.h>

#include "platform/FileUtilsWindows.h"
#include "platform/PathUtilsX.h"

#include "support/Files.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

using namespace oru;
using oru::test::MessageOf;

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
