// TFile behaviour both halves share: the mode word, errors with the system's
// explanation, 64-bit positions, the whole-file lock and time stamping.
#include "platform/Files.h"

#include "support/Files.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace oru;
using oru::test::MessageOf;
using oru::test::ReadWholeFile;
using oru::test::WriteWholeFile;

namespace {

// A raised message must be the context plus the system's text for the code it
// ends with, and that code must be a real one.
void ExpectSystemMessage(const std::string& message, const std::string& context) {
    const int code = std::atoi(message.c_str() + message.rfind('(') + 1);
    EXPECT_NE(code, 0) << message;
    EXPECT_EQ(message, AppendSystemError(context, code));
}

std::string Take(TFile& f, int32_t count) {
    std::string s(static_cast<size_t>(count), '\0');
    s.resize(static_cast<size_t>(f.Read(s.data(), count)));
    return s;
}

class FileTest : public ::testing::Test {
  protected:
    oru::test::TScratch dir;
    std::string name = dir.Dir() + "f.bin";
};

} // namespace

TEST_F(FileTest, CreateEmptiesAndOpenOrCreateKeepsTheTail) {
    WriteWholeFile(name, "0123456789");
    TFile(name, fmOpenOrCreate | fmOpenWrite).WriteBuffer("ab", 2);
    EXPECT_EQ(ReadWholeFile(name), "ab23456789");
    TFile(name, fmCreate).WriteBuffer("xy", 2);
    EXPECT_EQ(ReadWholeFile(name), "xy");
}

TEST_F(FileTest, CreatingAnExistingFileAndOpeningAMissingOneRaiseWithTheSystemText) {
    WriteWholeFile(name, "keep");
    ExpectSystemMessage(MessageOf<EFileOpenError>([&] { TFile f(name, fmCreateNew | fmOpenWrite); }),
                        "Cannot create the file '" + name + "'");
    EXPECT_EQ(ReadWholeFile(name), "keep");
    const std::string missing = dir.Dir() + "missing.bin";
    EXPECT_EQ(MessageOf<EFileOpenError>([&] { TFile f(missing, fmOpenRead); }),
              "Cannot open the file '" + missing + "'.\r\n" + SystemErrorMessage(2) + " (2)");
    // Access or sharing codes out of range are refused before anything is made.
    EXPECT_THROW(TFile(name, 0x0050), EFileOpenError);
    EXPECT_THROW(TFile(missing, fmCreateNew | 0x0003), EFileOpenError);
    EXPECT_FALSE(FileExists(missing));
}

TEST_F(FileTest, HookMayRedirectTheOpen) {
    const std::string real = dir.Dir() + "real.bin";
    TFile f(name, FileFlagsNormalSequential, fmCreateNew | fmOpenWrite,
            [&](TFileCreateInfo& info) { info.FileName = real; });
    EXPECT_EQ(f.FileName(), real);
    EXPECT_TRUE(FileExists(real));
    EXPECT_FALSE(FileExists(name));
}

TEST_F(FileTest, NegativeCountsRaiseWithoutTouchingTheFile) {
    WriteWholeFile(name, "abcdef");
    TFile f(name, fmOpenReadWrite | fmShareDenyNone);
    f.Seek(2, SeekOrigin::Begin);
    char buf[4];
    ExpectSystemMessage(MessageOf<EFileReadError>([&] { f.Read(buf, -1); }), "Error reading file '" + name + "'");
    EXPECT_THROW(f.Write(buf, -5), EFileWriteError);
    EXPECT_EQ(Take(f, 4), "cdef");
    EXPECT_EQ(ReadWholeFile(name), "abcdef");
}

TEST_F(FileTest, ShortReadAtTheEndAndSixtyFourBitPositions) {
    TFile f(name, fmCreate);
    f.WriteBuffer("hello", 5);
    f.SetPosition(3);
    EXPECT_EQ(Take(f, 10), "lo");
    // Positions past 4 GiB need the high half; nothing is written there.
    const int64_t far = (int64_t(1) << 32) + 7;
    EXPECT_EQ(f.Seek(far, SeekOrigin::Begin), far);
    EXPECT_EQ(f.Seek(0, SeekOrigin::Current), far);
    EXPECT_EQ(f.Seek(-2, SeekOrigin::End), 3);
    EXPECT_THROW(f.Seek(-10, SeekOrigin::Begin), EFileSeekError);
    f.SetSize(2);
    EXPECT_EQ(f.GetPosition(), 2);
    f.Close();
    EXPECT_EQ(ReadWholeFile(name), "he");
    char c = 0;
    EXPECT_THROW(f.Read(&c, 1), EFileReadError);
}

TEST_F(FileTest, DiscardDeletesOnlyWhatThisObjectCreated) {
    TFile(name, fmCreateNew | fmOpenWrite).Discard();
    EXPECT_FALSE(FileExists(name));
    WriteWholeFile(name, "precious");
    for (uint16_t mode : {fmOpenRead, fmOpenReadWrite, uint16_t(fmOpenOrCreate | fmOpenWrite)})
        TFile(name, mode).Discard();
    EXPECT_EQ(ReadWholeFile(name), "precious");
}

TEST_F(FileTest, ASecondLockerFailsAtOnceOrWaitsForTheHolder) {
    WriteWholeFile(name, "0123");
    auto holder = std::make_unique<TFile>(name, fmLockOnOpen | fmShareDenyNone | fmOpenReadWrite);
    TFile other(name, fmShareDenyNone | fmOpenReadWrite);
    ExpectSystemMessage(MessageOf<EFileLockError>([&] { other.Lock(LockExclusive | LockFailImmediately); }),
                        "Cannot lock the file '" + name + "'");
    EXPECT_EQ(Take(other, 4), "0123"); // the lock marks use; it does not block reading

    std::atomic<bool> opened{false};
    std::thread waiter([&] {
        TFile f(name, fmLockOnOpen | fmShareDenyNone | fmOpenRead);
        opened = f.Locked();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(opened.load());
    holder.reset(); // closing releases the lock
    waiter.join();
    EXPECT_TRUE(opened.load());
}

TEST_F(FileTest, LastWriteTimeRoundTripsThroughLocalTime) {
    TDateTime local = 0, before1601 = 0;
    ASSERT_TRUE(TryEncodeDateTime(TSystemTime{2021, 7, 0, 14, 9, 30, 42}, local));
    ASSERT_TRUE(TryEncodeDateTime(TSystemTime{1600, 12, 0, 31}, before1601));
    TFile f(name, fmCreate);
    EXPECT_TRUE(f.SetFileTime(local));
    EXPECT_FALSE(f.SetFileTime(std::nan("")));
    EXPECT_FALSE(f.SetFileTime(before1601)); // file times begin in 1601
    f.Close();
    EXPECT_NEAR(FileUtils().FileModified(name), local, 1.0 / 86400);
    EXPECT_EQ(FileUtils().FileModified(dir.Dir()), 0); // a folder has no file times
}
