// The POSIX half: "\" in paths, permissions for the read-only bit, the system's
// error texts and temporary files.
#include "platform/FileUtilsPosix.h"
#include "platform/Files.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace oru;
using oru::test::ReadWholeFile;
using oru::test::ScratchFolder;
using oru::test::WriteWholeFile;

TEST(PosixHalf, BackslashPathsReachTheRightFiles) {
    ScratchFolder dir;
    EXPECT_EQ(SystemPath("a\\b/c\\"), "a/b/c/");
    ASSERT_TRUE(ForceDirectories(dir / "one\\two\\"));
    EXPECT_TRUE(DirectoryExists(dir / "one/two"));
    {
        TFile f(dir / "one\\two\\f.txt", fmCreate);
        f.WriteBuffer("hi", 2);
    }
    EXPECT_EQ(ReadWholeFile(dir / "one/two/f.txt"), "hi");
    EXPECT_TRUE(FileExists(dir / "one\\two\\f.txt"));
    EXPECT_FALSE(FileExists(dir / "one\\two"));
    EXPECT_TRUE(RenameFileReplace(dir / "one\\two\\f.txt", dir / "one\\g.txt"));
    EXPECT_EQ(ReadWholeFile(dir / "one/g.txt"), "hi");
    EXPECT_TRUE(DeleteFile(dir / "one\\g.txt"));
    EXPECT_TRUE(RemoveDir(dir / "one\\two"));
    EXPECT_FALSE(RemoveDir(dir / "missing"));
}

TEST(PosixHalf, ReadOnlyBitIsTheWritePermission) {
    ScratchFolder dir;
    std::string name = dir / "r.txt";
    WriteWholeFile(name, "x");
    EXPECT_EQ(FileGetAttr(name), 0);
    EXPECT_EQ(FileGetAttr(dir.Path()), faDirectory);
    EXPECT_EQ(FileGetAttr(dir / "none"), -1);
    ASSERT_TRUE(FileSetAttr(name, faReadOnly));
    EXPECT_EQ(FileGetAttr(name), faReadOnly);
    struct stat st;
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(FileSetAttr(name, 0));
    EXPECT_EQ(FileGetAttr(name), 0);
    EXPECT_FALSE(FileSetAttr(dir / "none", 0));
}

TEST(PosixHalf, AccessBitsLimitWhatTheDescriptorMayDo) {
    ScratchFolder dir;
    std::string name = dir / "m.txt";
    WriteWholeFile(name, "abc");
    TFile reader(name, fmOpenRead | fmShareDenyWrite);
    char c = 'z';
    try {
        reader.Write(&c, 1);
        FAIL() << "a read-only open wrote";
    } catch (const EFileWriteError& e) {
        EXPECT_EQ(e.ErrorCode, EBADF);
        EXPECT_EQ(e.Message(), "Error writing to the file '" + name + "'.\r\n" +
                                   std::strerror(EBADF) + " (" + std::to_string(EBADF) + ")");
    }
    TFile writer(name, fmOpenWrite);
    EXPECT_THROW(writer.Read(&c, 1), EFileReadError);
    EXPECT_EQ(ReadWholeFile(name), "abc");
}

TEST(PosixHalf, DeleteOnCloseRemovesTheFileAtClose) {
    ScratchFolder dir;
    std::string name = dir / "gone.txt";
    {
        TFile f(name, FileFlagDeleteOnClose, fmCreate);
        EXPECT_TRUE(FileExists(name));
    }
    EXPECT_FALSE(FileExists(name));
}

TEST(PosixHalf, TemporaryFilesUseThreeCharactersOfThePrefix) {
    ScratchFolder dir;
    std::string a = FileUtils().CreateTempFile(dir / "tmp\\", "prefix");
    std::string b = FileUtils().CreateTempFile(dir / "tmp\\", "prefix");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir / "tmp\\pre", 0), 0u) << a;
    EXPECT_TRUE(FileExists(a));
    EXPECT_TRUE(FileExists(b));
}

TEST(PosixHalf, CachedTemporaryFolderIsNamedAfterTheProgram) {
    std::string folder, prefix;
    FileUtils().GetTempLocation(folder, prefix);
    EXPECT_EQ(prefix, "platform_posix_tests");
    EXPECT_EQ(folder, GetTempFolder() + "platform_posix_tests/");
    EXPECT_TRUE(DirectoryExists(folder));
    std::string again, other = "given";
    FileUtils().GetTempLocation(again, other);
    EXPECT_EQ(again, folder);
    EXPECT_EQ(other, "given");
    ReleaseTempLocation();
    EXPECT_FALSE(DirectoryExists(folder));
}
