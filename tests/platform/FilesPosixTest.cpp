// The POSIX half: "\" in paths, permissions for the read-only bit, the system's
// error texts.
#include "platform/FileUtilsPosix.h"
#include "platform/Files.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace oru;
using oru::test::ReadWholeFile;

TEST(PosixHalf, BackslashPathsReachTheRightFiles) {
    oru::test::TScratch dir;
    const std::string d = dir.Dir();
    EXPECT_EQ(SystemPath("a\\b/c\\"), "a/b/c/");
    ASSERT_TRUE(ForceDirectories(d + "one\\two\\"));
    TFile(d + "one\\two\\f.txt", fmCreate).WriteBuffer("hi", 2);
    EXPECT_EQ(ReadWholeFile(d + "one/two/f.txt"), "hi");
    EXPECT_FALSE(FileExists(d + "one\\two"));
    EXPECT_TRUE(RenameFileReplace(d + "one\\two\\f.txt", d + "one\\g.txt"));
    EXPECT_EQ(ReadWholeFile(d + "one/g.txt"), "hi");
    EXPECT_TRUE(DeleteFile(d + "one\\g.txt"));
    EXPECT_TRUE(RemoveDir(d + "one\\two"));
    EXPECT_FALSE(DirectoryExists(d + "one/two"));
}

TEST(PosixHalf, ReadOnlyBitIsTheWritePermissionAndAccessBitsLimitTheDescriptor) {
    oru::test::TScratch dir;
    const std::string name = dir.Write("r.txt", "abc");
    EXPECT_EQ(FileGetAttr(dir.Dir()), faDirectory);
    EXPECT_EQ(FileGetAttr(dir.Dir() + "none"), -1);
    ASSERT_TRUE(FileSetAttr(name, faReadOnly));
    EXPECT_EQ(FileGetAttr(name), faReadOnly);
    struct stat st;
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(FileSetAttr(name, 0));
    EXPECT_EQ(FileGetAttr(name), 0);

    TFile reader(name, fmOpenRead | fmShareDenyWrite);
    char c = 'z';
    EXPECT_THROW(reader.Write(&c, 1), EFileWriteError);
    TFile writer(name, fmOpenWrite);
    EXPECT_THROW(writer.Read(&c, 1), EFileReadError);
    EXPECT_EQ(ReadWholeFile(name), "abc");
}
