// TFile behaviour both halves share: the mode word, errors with the system's
// explanation, 64-bit positions, the whole-file lock and time stamping.
#include "platform/Files.h"

#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace oru;
using oru::test::ReadWholeFile;
using oru::test::TScratch;
using oru::test::WriteWholeFile;

namespace {

// The file error the call raises, with its class checked.
template <typename E, typename F> E Raised(F&& call) {
    try {
        call();
    } catch (const E& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception: " << e.what();
        throw;
    }
    ADD_FAILURE() << "nothing raised";
    return E("", 0);
}

void Put(TFile& f, const std::string& text) {
    f.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

std::string Take(TFile& f, int32_t count) {
    std::string s(static_cast<size_t>(count), '\0');
    s.resize(static_cast<size_t>(f.Read(s.data(), count)));
    return s;
}

} // namespace

TEST(FileModes, CreateModeEmptiesAndOpenOrCreateKeepsTheTail) {
    TScratch dir;
    std::string name = dir.Dir() + "data.bin";
    WriteWholeFile(name, "0123456789");
    {
        TFile f(name, fmOpenOrCreate | fmOpenWrite);
        Put(f, "ab");
    }
    EXPECT_EQ(ReadWholeFile(name), "ab23456789");
    {
        TFile f(name, fmCreate);
        EXPECT_EQ(f.GetSize(), 0);
        Put(f, "xy");
    }
    EXPECT_EQ(ReadWholeFile(name), "xy");

    std::string fresh = dir.Dir() + "fresh.bin";
    { TFile f(fresh, fmOpenOrCreate | fmOpenWrite); }
    EXPECT_TRUE(FileExists(fresh));
}

TEST(FileModes, CreatingAnExistingFileAndOpeningAMissingOneRaiseWithTheSystemText) {
    TScratch dir;
    std::string existing = dir.Dir() + "there.bin";
    WriteWholeFile(existing, "keep");
    auto created = Raised<EFileOpenError>([&] { TFile f(existing, fmCreateNew | fmOpenWrite); });
    EXPECT_NE(created.ErrorCode, 0);
    EXPECT_EQ(created.Message(),
              AppendSystemError("Cannot create the file '" + existing + "'", created.ErrorCode));
    EXPECT_EQ(ReadWholeFile(existing), "keep");

    std::string missing = dir.Dir() + "missing.bin";
    auto opened = Raised<EFileOpenError>([&] { TFile f(missing, fmOpenRead); });
    EXPECT_EQ(opened.ErrorCode, 2); // "file not found" on both systems
    EXPECT_EQ(opened.Message(),
              "Cannot open the file '" + missing + "'.\r\n" + SystemErrorMessage(2) + " (2)");
    EXPECT_FALSE(FileExists(missing));
}

TEST(FileModes, InvalidAccessOrSharingCodesAreRefused) {
    TScratch dir;
    std::string name = dir.Dir() + "x.bin";
    WriteWholeFile(name, "x");
    EXPECT_THROW(TFile(name, 0x0003), EFileOpenError);
    EXPECT_THROW(TFile(name, 0x0050), EFileOpenError);
    auto e = Raised<EFileOpenError>([&] { TFile f(dir.Dir() + "new.bin", fmCreateNew | 0x0003); });
    EXPECT_EQ(e.Message().rfind("Cannot create the file '", 0), 0u);
    EXPECT_FALSE(FileExists(dir.Dir() + "new.bin"));
}

TEST(FileModes, HookMayRedirectTheOpen) {
    TScratch dir;
    std::string real = dir.Dir() + "real.bin";
    TFile f(dir.Dir() + "asked.bin", FileFlagsNormalSequential, fmCreateNew | fmOpenWrite,
            [&](TFileCreateInfo& info) {
                EXPECT_EQ(info.FileName, dir.Dir() + "asked.bin");
                EXPECT_EQ(info.FlagsAndAttributes, FileFlagsNormalSequential);
                info.FileName = real;
            });
    EXPECT_EQ(f.FileName(), real);
    EXPECT_TRUE(FileExists(real));
    EXPECT_FALSE(FileExists(dir.Dir() + "asked.bin"));
}

TEST(FileIo, NegativeCountsRaiseWithoutTouchingTheFile) {
    TScratch dir;
    std::string name = dir.Dir() + "n.bin";
    WriteWholeFile(name, "abcdef");
    TFile f(name, fmOpenReadWrite | fmShareDenyNone);
    f.Seek(2, SeekOrigin::Begin);
    char buf[4];
    auto r = Raised<EFileReadError>([&] { f.Read(buf, -1); });
    EXPECT_NE(r.ErrorCode, 0);
    EXPECT_EQ(r.Message(), AppendSystemError("Error reading file '" + name + "'", r.ErrorCode));
    auto w = Raised<EFileWriteError>([&] { f.Write(buf, -5); });
    EXPECT_EQ(w.Message().rfind("Error writing to the file '" + name + "'.\r\n", 0), 0u);
    EXPECT_EQ(f.GetPosition(), 2);
    EXPECT_EQ(Take(f, 4), "cdef");
    EXPECT_EQ(ReadWholeFile(name), "abcdef");
}

TEST(FileIo, ShortReadAtTheEndAndSixtyFourBitPositions) {
    TScratch dir;
    std::string name = dir.Dir() + "p.bin";
    TFile f(name, fmCreate);
    Put(f, "hello");
    f.SetPosition(3);
    EXPECT_EQ(Take(f, 10), "lo");
    EXPECT_EQ(Take(f, 10), "");

    // Positions past 4 GiB need the high half; nothing is written there.
    const int64_t far = (int64_t(1) << 32) + 7;
    EXPECT_EQ(f.Seek(far, SeekOrigin::Begin), far);
    EXPECT_EQ(f.Seek(0, SeekOrigin::Current), far);
    EXPECT_EQ(f.Seek(-2, SeekOrigin::End), 3);
    EXPECT_THROW(f.Seek(-10, SeekOrigin::Begin), EFileSeekError);

    f.SetSize(2);
    EXPECT_EQ(f.GetSize(), 2);
    EXPECT_EQ(f.GetPosition(), 2);
    f.Close();
    EXPECT_EQ(ReadWholeFile(name), "he");
}

TEST(FileIo, ClosedFileRaisesAndClosesOnlyOnce) {
    TScratch dir;
    TFile f(dir.Dir() + "c.bin", fmCreate);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    f.Close();
    char c = 0;
    EXPECT_THROW(f.Read(&c, 1), EFileReadError);
    EXPECT_THROW(f.Write(&c, 1), EFileWriteError);
}

TEST(FileIo, DiscardDeletesOnlyWhatThisObjectCreated) {
    TScratch dir;
    std::string made = dir.Dir() + "made.bin";
    {
        TFile f(made, fmCreateNew | fmOpenWrite);
        Put(f, "partial");
        f.Discard();
        EXPECT_FALSE(f.IsOpen());
    }
    EXPECT_FALSE(FileExists(made));

    std::string old = dir.Dir() + "old.bin";
    WriteWholeFile(old, "precious");
    for (uint16_t mode : {fmOpenRead, fmOpenReadWrite, uint16_t(fmOpenOrCreate | fmOpenWrite)}) {
        TFile f(old, mode);
        f.Discard();
    }
    EXPECT_EQ(ReadWholeFile(old), "precious");
}

TEST(FileLocks, SecondLockerFailsAtOnceButContentStaysUsable) {
    TScratch dir;
    std::string name = dir.Dir() + "l.bin";
    WriteWholeFile(name, "0123");
    TFile holder(name, fmLockOnOpen | fmShareDenyNone | fmOpenReadWrite);
    EXPECT_TRUE(holder.Locked());

    TFile other(name, fmShareDenyNone | fmOpenReadWrite);
    EXPECT_FALSE(other.Locked());
    auto e = Raised<EFileLockError>([&] { other.Lock(LockExclusive | LockFailImmediately); });
    EXPECT_NE(e.ErrorCode, 0);
    EXPECT_EQ(e.Message(), AppendSystemError("Cannot lock the file '" + name + "'", e.ErrorCode));
    // The lock marks exclusive use; it does not block reading the data.
    EXPECT_EQ(Take(other, 4), "0123");
    holder.Unlock();
    EXPECT_FALSE(holder.Locked());
    other.Lock(LockExclusive | LockFailImmediately);
    EXPECT_TRUE(other.Locked());
    EXPECT_THROW(holder.Lock(LockExclusive | LockFailImmediately), EFileLockError);
}

TEST(FileLocks, LockingOpenWaitsUntilTheHolderCloses) {
    TScratch dir;
    std::string name = dir.Dir() + "w.bin";
    WriteWholeFile(name, "x");
    auto holder = std::make_unique<TFile>(name, fmLockOnOpen | fmShareDenyNone | fmOpenRead);
    std::atomic<bool> opened{false};
    bool lockedByWaiter = false;
    std::thread waiter([&] {
        TFile f(name, fmLockOnOpen | fmShareDenyNone | fmOpenRead);
        opened = true;
        lockedByWaiter = f.Locked();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(opened.load());
    holder.reset(); // closing releases the lock
    waiter.join();
    EXPECT_TRUE(opened.load());
    EXPECT_TRUE(lockedByWaiter);
}

TEST(FileTimes, LastWriteTimeRoundTripsThroughLocalTime) {
    TScratch dir;
    std::string name = dir.Dir() + "t.bin";
    TSystemTime when;
    when.Year = 2021;
    when.Month = 7;
    when.Day = 14;
    when.Hour = 9;
    when.Minute = 30;
    when.Second = 42;
    TDateTime local = 0;
    ASSERT_TRUE(TryEncodeDateTime(when, local));
    {
        TFile f(name, fmCreate);
        Put(f, "x");
        EXPECT_TRUE(f.SetFileTime(local));
    }
    EXPECT_NEAR(FileUtils().FileModified(name), local, 1.0 / 86400);
    EXPECT_EQ(FileUtils().FileModified(dir.Dir() + "none.bin"), 0);
    EXPECT_EQ(FileUtils().FileModified(dir.Dir()), 0); // a folder has no file times

    TFile f(name, fmOpenWrite);
    SetLastOsError(0);
    EXPECT_FALSE(f.SetFileTime(std::nan("")));
    EXPECT_NE(GetLastOsError(), 0);
    EXPECT_FALSE(f.SetFileTime(-700000.0)); // before the year 1
    TDateTime before1601 = 0;
    ASSERT_TRUE(TryEncodeDateTime(TSystemTime{1600, 12, 0, 31}, before1601));
    EXPECT_FALSE(f.SetFileTime(before1601)); // file times begin in 1601
}
