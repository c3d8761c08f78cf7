#include "archive/CompressionUtils.h"
#include "archive/OruZlib.h"
#include "archive/PkwareZip.h"
#include "platform/FileUtilsX.h"

#include "ArchiveTestSupport.h"
#include "platform/Files.h"
#include "support/MessageOf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace oru {
namespace {

using test::Bytes;
using test::MessageOf;
using test::TestArchive;
using test::TestMember;
using ::testing::StartsWith;
using Names = std::vector<std::string>;

// 1995-07-14 10:20:30, a time that no freshly written file carries.
constexpr uint32_t OldDosTime =
    ((15u << 25) | (7u << 21) | (14u << 16)) | ((10u << 11) | (20u << 5) | 15u);

class PkwareZipExtract : public ::testing::Test {
  protected:
    // Every archive gets a name of its own: assigning the same name again would keep
    // the previous directory.
    TPkwareZipItem& OpenMember(const TestArchive& a, int index = 0) {
        const std::string path = dir_.File("pkg" + std::to_string(++archives_) + ".zip");
        test::WriteWholeFile(path, a.Build());
        zip_.SetFileName(path);
        return zip_.Items()[index];
    }
    TPkwareZipItem& OpenOne(TestMember m) { return OpenMember({.Members = {std::move(m)}}); }
    // Extracts into the output folder, given without its trailing delimiter (one is
    // added).
    void Extract(TPkwareZipItem& item, TPkwareZipExtractOptions options = 0) {
        TPkwareZipExtractInfo info;
        info.DestDir = out_.Root().string();
        info.Options = options;
        item.Extract(&info);
    }
    Names Output() { return test::ListTree(out_.Root()); }
    // A whole archive run into the output folder, given as the callers give it: with a
    // trailing "\".
    void ExtractAll(const TestArchive& a, Names& files, const std::string& dest = "") {
        test::WriteWholeFile(dir_.File("all.zip"), a.Build());
        ExtractZipFile(dir_.File("all.zip"), files, dest.empty() ? Dest() : dest);
    }
    std::string Dest() const { return out_.Root().string() + "\\"; }

    test::TScratch dir_;
    test::TScratch out_;
    TPkwareZip zip_;
    int archives_ = 0;
};

// Time and attributes, for a new target and for one replaced on the normal update
// path: applied unless kept by option, never for an empty member; a time that is
// no date stamps the zero date.
TEST_F(PkwareZipExtract, TheMembersTimeAndAttributesUnlessKeptOrEmpty) {
    enum Stamp { None, Members, ZeroDate };
    const struct {
        const char* name;
        Bytes data;
        uint32_t dosTime;
        TPkwareZipExtractOptions options;
        bool existing; // a target is there before
        Stamp stamp;
    } rows[] = {
        {"new", test::PatternBytes(100000), OldDosTime, 0, false, Members},
        {"replaced", test::PatternBytes(3000, 5), OldDosTime, 0, true, Members},
        {"kept", test::ToBytes("keep"), OldDosTime, eoKeepFileTime | eoKeepAttributes, false, None},
        {"empty", {}, OldDosTime, 0, true, None},
        {"month 0", test::ToBytes("z"), (20u << 25) | (1u << 16), eoKeepAttributes, false, ZeroDate},
    };
    TDateTime old = 0;
    ASSERT_TRUE(TryDosDateTimeToDateTime(OldDosTime, old));
    size_t written = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
#ifndef _WIN32
        if (row.stamp == ZeroDate)
            continue; // file times before 1970 cannot be set here
#endif
        ++written;
        const std::string target = out_.File(std::string(row.name) + ".bin");
        if (row.existing)
            test::WriteWholeFile(target, test::ToBytes("previous content, longer than some"));
        Extract(OpenOne({.Name = std::string(row.name) + ".bin", .Data = row.data,
                         .Deflate = row.data.size() > 10000, .DosTime = row.dosTime,
                         .ExternalAttributes = 0x21}),
                row.options);
        EXPECT_EQ(test::ReadWholeBytes(target), row.data);
        const TDateTime modified = FileUtils().FileModified(target);
        if (row.stamp == Members)
            EXPECT_NEAR(modified, old, 2.0 / 86400);
        else if (row.stamp == ZeroDate)
            EXPECT_LT(modified, 1000.0); // or the file system's earliest time
        else
            EXPECT_GT(modified, old + 365);
        EXPECT_EQ((FileGetAttr(target) & faReadOnly) != 0, row.stamp == Members);
        FileSetAttr(target, 0);
    }
    EXPECT_EQ(Output().size(), written); // no temporary left beside them
}

TEST_F(PkwareZipExtract, ReplacesAnExistingTargetOnlyWithACheckedFile) {
    const std::string target = out_.File("t.dat");
    const Bytes old = test::PatternBytes(50000, 77), fresh = test::ToBytes("short new content");
    test::WriteWholeFile(target, old);
    Extract(OpenOne({.Name = "t.dat", .Data = fresh}));
    // Shorter than the old file: nothing of the old bytes may remain behind it.
    EXPECT_EQ(test::ReadWholeBytes(target), fresh);

    test::WriteWholeFile(target, old);
    TPkwareZipItem& badCrc = OpenOne({.Name = "t.dat", .Data = fresh, .Crc = 0x01020304});
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { Extract(badCrc); }), "CRC check failed for 't.dat'");
    EXPECT_EQ(test::ReadWholeBytes(target), old);
    EXPECT_EQ(Output(), Names{"t.dat"});

    // The last step, moving the checked file over its target, fails on a folder in
    // the way: the message names the target, and the temporary is gone.
    std::filesystem::remove(target);
    std::filesystem::create_directories(out_.Root() / "t.dat" / "inside");
    EXPECT_THAT(MessageOf<EFileOpenError>([&] { Extract(OpenOne({.Name = "t.dat"})); }),
                ::testing::AllOf(StartsWith("Cannot open the file '" + out_.Root().string()),
                                 ::testing::HasSubstr("t.dat'")));
    EXPECT_EQ(Output(), (Names{"t.dat", "t.dat/inside"}));

    // Asked to create a new file, it refuses an existing one.
    test::WriteWholeFile(out_.File("n.txt"), test::ToBytes("old"));
    TPkwareZipItem& fresher = OpenOne({.Name = "n.txt", .Data = fresh});
    EXPECT_THAT(MessageOf<EFileOpenError>([&] { Extract(fresher, eoCreateNew); }),
                StartsWith("Cannot create the file '"));
    EXPECT_EQ(test::ReadWholeBytes(out_.File("n.txt")), test::ToBytes("old"));
}

// A broken deflate stream (block type 3), and one inflating far beyond its declared
// size: both name the member and leave no file.
TEST_F(PkwareZipExtract, DataErrorsNameTheMemberAndLeaveNothingBehind) {
    TPkwareZipItem& broken = OpenOne({.Name = "broken.bin", .Data = Bytes{0xFF, 0xFF, 0xFF, 0xFF},
                                      .Method = 8, .UncompressedSize = 100});
    EXPECT_EQ(MessageOf<EZlibError>([&] { Extract(broken); }),
              "Cannot extract 'broken.bin'.\rzlib error.\r\ninvalid block type (-3)");
    TPkwareZipItem& bomb = OpenOne({.Name = "bomb.bin", .Data = Bytes(20000000, 0), .Deflate = true,
                                    .Crc = 0, .UncompressedSize = 4096});
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { Extract(bomb); }),
              "Cannot extract 'bomb.bin'.\rThe data exceed their declared size of 4096 bytes");
    EXPECT_TRUE(Output().empty());
}

// Nothing in the program reads a member as a stream or watches the progress: one
// case each.
TEST_F(PkwareZipExtract, OpenStreamYieldsDeflatedDataAfterTheArchiveClosesAndRefusesStored) {
    const Bytes data = test::PatternBytes(30000);
    TPkwareZipExtractInfo info;
    info.Options = eoOpenStream;
    std::unique_ptr<TStream> stream =
        OpenMember({.Members = {{.Name = "d.bin", .Data = data, .Deflate = true},
                                {.Name = "s", .Data = data}}})
            .Extract(&info);
    zip_.Close();
    Bytes out(data.size() + 10);
    int32_t total = 0;
    while (int32_t n = stream->Read(out.data() + total, 4000))
        total += n;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + total), data);
    stream.reset(); // the archive is held without sharing until its last stream goes
    EXPECT_EQ(MessageOf<Exception>([&] { zip_.Items()[1].Extract(&info); }),
              "The compression method is not supported");
}

TEST_F(PkwareZipExtract, ProgressRestartsForEveryMember) {
    OpenMember({.Members = {{.Name = "a", .Data = test::PatternBytes(60000), .Deflate = true},
                            {.Name = "b", .Data = test::PatternBytes(30000)}}});
    std::vector<std::pair<int64_t, int64_t>> seen;
    zip_.OnProgress = [&](TPkwareZip&, int64_t position, int64_t total) {
        seen.emplace_back(position, total);
    };
    Extract(zip_.Items()[0]);
    Extract(zip_.Items()[1]);
    EXPECT_EQ(seen.back(), std::make_pair(int64_t{30000}, int64_t{30000}));
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(int64_t{60000}, int64_t{60000})),
              seen.end());
}

TEST_F(PkwareZipExtract, MethodAndWhosePasswordCounts) {
    const Bytes data = test::PatternBytes(5000);
    OpenMember({.Members = {{.Name = "m12", .Data = data, .Method = 12},
                            {.Name = "enc", .Data = data, .Deflate = true, .Password = "pw1"}}});
    TMemoryStream sink;
    TPkwareZipExtractInfo info;
    auto message = [&](int index) {
        return MessageOf<Exception>([&] { zip_.Items()[index].Extract(&sink, &info); });
    };
    EXPECT_EQ(message(0), "The compression method is not supported");
    // The archive's password serves when the call has none; the call's wins, here
    // one that does not pass the member's check byte.
    zip_.Password = "pw1";
    info.Password = "pw2";
    EXPECT_EQ(message(1), "Incorrect password");
    EXPECT_TRUE(sink.Data().empty());
    info.Password.clear();
    zip_.Items()[1].Extract(&sink, &info);
    EXPECT_EQ(sink.Data(), data);
}

using ExtractZipFileTest = PkwareZipExtract;

TEST_F(ExtractZipFileTest, WritesFoldersAndFilesInArchiveOrder) {
    const TestArchive a{.Members = {
        {.Name = "docs/"},
        {.Name = "docs/a.txt", .Data = test::ToBytes("alpha")},
        {.Name = "Tables\\New.dat", .Data = test::PatternBytes(70000), .Deflate = true},
        {.Name = "deep\\er\\"},
        // Created plainly, without its attributes.
        {.Name = "empty.txt", .ExternalAttributes = 0x21},
    }};
    // A read-only target is replaced.
    test::WriteWholeFile(out_.File("docs/a.txt"), test::ToBytes("old old old"));
    ASSERT_TRUE(FileSetAttr(out_.File("docs/a.txt"), faReadOnly));
    Names files = {"stale entry"};
    ExtractAll(a, files);
    EXPECT_EQ(files,
              (Names{Dest() + "docs/a.txt", Dest() + "Tables\\New.dat", Dest() + "empty.txt"}));
    EXPECT_EQ(Output(), (Names{"Tables", "Tables/New.dat", "deep", "deep/er", "docs", "docs/a.txt",
                               "empty.txt"}));
    EXPECT_EQ(test::ReadWholeBytes(out_.File("docs/a.txt")), test::ToBytes("alpha"));
    EXPECT_EQ(test::ReadWholeBytes(out_.File("Tables/New.dat")), test::PatternBytes(70000));
    EXPECT_EQ(FileGetAttr(out_.File("empty.txt")) & faReadOnly, 0);
}

// The members written before the failing one go, even those extracted read-only;
// the failing member's old file stays, and so do the folders.
TEST_F(ExtractZipFileTest, FailureDeletesEveryWrittenFileAndKeepsTheFailingTarget) {
    const TestArchive a{.Members = {
        {.Name = "one.txt", .Data = test::ToBytes("1"), .ExternalAttributes = 0x21},
        {.Name = "sub/"},
        {.Name = "sub/two.txt", .Data = test::PatternBytes(5000), .Deflate = true},
        {.Name = "keep.txt", .Data = {0xFF, 0xFF, 0xFF}, .Method = 8, .UncompressedSize = 50},
    }};
    test::WriteWholeFile(out_.File("keep.txt"), test::ToBytes("the old file"));
    Names files;
    EXPECT_THAT(MessageOf<EZlibError>([&] { ExtractAll(a, files); }),
                StartsWith("Cannot extract 'keep.txt'.\rzlib error.\r\n"));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(test::ReadWholeBytes(out_.File("keep.txt")), test::ToBytes("the old file"));
    EXPECT_EQ(Output(), (Names{"keep.txt", "sub"}));
}

TEST_F(ExtractZipFileTest, NamesLeadingOutsideStopTheRunBeforeAnythingIsWrittenThere) {
    const std::string inner = out_.MakeFolder("inner");
    for (const std::string outside :
         {"../outside.txt", "a/../../up/", "C:\\oru-elsewhere.txt", "\\\\srv\\share\\x.dll"}) {
        Names files;
        const TestArchive a{.Members = {{.Name = "fine.txt", .Data = test::ToBytes("fine")},
                                        {.Name = outside, .Data = test::ToBytes("evil")}}};
        EXPECT_EQ(MessageOf<EPkwareZipError>([&] { ExtractAll(a, files, inner); }),
                  "Cannot extract '" + outside +
                      "': its name leads outside the destination folder");
        EXPECT_EQ(Output(), Names{"inner"}) << outside;
    }
}

} // namespace
} // namespace oru
