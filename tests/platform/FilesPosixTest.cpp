// The POSIX half: "\" in paths, permissions for the read-only bit, the system's
// error texts.
#include "platform/FileUtilsPosix.h"
#include "platform/Files.h"

#include "support/Files.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace oru;
using oru::test::MessageOf;
using oru::test::ReadWholeFile;
using oru::test::TScratch;
using oru::test::WriteWholeFile;

TEST(PosixHalf, BackslashPathsReachTheRightFiles) {
    TScratch dir;
    EXPECT_EQ(SystemPath("a\\b/c\\"), "a/b/c/");
    ASSERT_TRUE(ForceDirectories(dir.Dir() + "one\\two\\"));
    EXPECT_TRUE(DirectoryExists(dir.Dir() + "one/two"));
    {
        TFile f(dir.Dir() + "one\\two\\f.txt", fmCreate);
        f.WriteBuffer("hi", 2);
    }
    EXPECT_EQ(ReadWholeFile(dir.Dir() + "one/two/f.txt"), "hi");
    EXPECT_TRUE(FileExists(dir.Dir() + "one\\two\\f.txt"));
    EXPECT_FALSE(FileExists(dir.Dir() + "one\\two"));
    EXPECT_TRUE(RenameFileReplace(dir.Dir() + "one\\two\\f.txt", dir.Dir() + "one\\g.txt"));
    EXPECT_EQ(ReadWholeFile(dir.Dir() + "one/g.txt"), "hi");
    EXPECT_TRUE(DeleteFile(dir.Dir() + "one\\g.txt"));
    EXPECT_TRUE(RemoveDir(dir.Dir() + "one\\two"));
    EXPECT_FALSE(RemoveDir(dir.Dir() + "missing"));
}

TEST(PosixHalf, ReadOnlyBitIsTheWritePermission) {
    TScratch dir;
    std::string name = dir.Dir() + "r.txt";
    WriteWholeFile(name, "x");
    EXPECT_EQ(FileGetAttr(name), 0);
    EXPECT_EQ(FileGetAttr(dir.Dir()), faDirectory);
    EXPECT_EQ(FileGetAttr(dir.Dir() + "none"), -1);
    ASSERT_TRUE(FileSetAttr(name, faReadOnly));
    EXPECT_EQ(FileGetAttr(name), faReadOnly);
    struct stat st;
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(FileSetAttr(name, 0));
    EXPECT_EQ(FileGetAttr(name), 0);
    EXPECT_FALSE(FileSetAttr(dir.Dir() + "none", 0));
}

TEST(PosixHalf, AccessBitsLimitWhatTheDescriptorMayDo) {
    TScratch dir;
    std::string name = dir.Dir() + "m.txt";
    WriteWholeFile(name, "abc");
    TFile reader(name, fmOpenRead | fmShareDenyWrite);
    char c = 'z';
    EXPECT_EQ(MessageOf<EFileWriteError>([&] { reader.Write(&c, 1); }),
              "Error writing to the file '" + name + "'.\r\n" + std::strerror(EBADF) + " (" +
                  std::to_string(EBADF) + ")");
    TFile writer(name, fmOpenWrite);
    EXPECT_THROW(writer.Read(&c, 1), EFileReadError);
    EXPECT_EQ(ReadWholeFile(name), "abc");
}

