#include "app/VersionFile.h"

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

TVersionFileInfo Read(const std::string& text, TVersionFileContext context = {true, true, true}) {
    // Default context: LE edition, both archives present.
    TMemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    return ReadVersionFile(stream, context);
}

TVersionFileContext Edition(bool le) {
    return {le, true, true};
}

TEST(VersionFile, EmptyFileWantsNothing) {
    const auto v = Read("");
    EXPECT_EQ(v.Version, "");
    EXPECT_FALSE(v.UpdateWanted);
    EXPECT_FALSE(v.PatchWanted);
    EXPECT_FALSE(v.UpdateArchiveMissing);
    EXPECT_FALSE(v.PatchArchiveMissing);
    EXPECT_EQ(v.ExtraMessage, "");
}

TEST(VersionFile, WantedFlagsAcceptOnlyAWholeY) {
    EXPECT_TRUE(Read("1\r\ny\r\nY\r\n").UpdateWanted);
    EXPECT_TRUE(Read("1\r\ny\r\nY\r\n").PatchWanted);
    EXPECT_FALSE(Read("1\r\nY \r\nYes\r\n").UpdateWanted);
    EXPECT_FALSE(Read("1\r\nY \r\nYes\r\n").PatchWanted);
    EXPECT_FALSE(Read("1\r\n Y\r\n").UpdateWanted);
    const auto v = Read("01.23.00.00\r\nY\r\nN\r\nN\r\nignored\r\n");
    EXPECT_EQ(v.Version, "01.23.00.00");
    EXPECT_TRUE(v.UpdateWanted);
    EXPECT_FALSE(v.PatchWanted);
}

TEST(VersionFile, LineEndingsAsATextFileReadsThem) {
    // A lone LF ends a line; after a CR the rest up to the next LF is passed over.
    const auto v = Read("1.0\nY\r\nY");
    EXPECT_EQ(v.Version, "1.0");
    EXPECT_TRUE(v.UpdateWanted);
    EXPECT_TRUE(v.PatchWanted);
    EXPECT_EQ(Read("1.0\rjunk\nY\r\n").Version, "1.0");
    EXPECT_TRUE(Read("1.0\rjunk\nY\r\n").UpdateWanted);
    // A single line without an end.
    EXPECT_EQ(Read("* 12/01/2010").Version, "* 12/01/2010");
}

TEST(VersionFile, MissingArchivesOnlyWhenWanted) {
    const auto both = Read("1\r\nY\r\nY\r\n", {false, false, false});
    EXPECT_TRUE(both.UpdateArchiveMissing);
    EXPECT_TRUE(both.PatchArchiveMissing);
    const auto none = Read("1\r\nN\r\nN\r\n", {false, false, false});
    EXPECT_FALSE(none.UpdateArchiveMissing);
    EXPECT_FALSE(none.PatchArchiveMissing);
    const auto patchOnly = Read("1\r\nN\r\nY\r\n", {false, false, true});
    EXPECT_FALSE(patchOnly.PatchArchiveMissing);
}

TEST(VersionFile, NoticeLinesJoinWithNothingBetween) {
    const auto v =
        Read("1\r\nY\r\nY\r\nY\r\n100\r\n2\r\nThe first half,\r\n and the second.\r\nlater\r\n");
    EXPECT_EQ(v.ExtraMessage, "The first half, and the second.");
    EXPECT_EQ(Read("1\r\nY\r\nY\r\nN\r\n100\r\n1\r\nNot read\r\n").ExtraMessage, "");
    EXPECT_EQ(Read("1\r\nY\r\nY\r\ny\r\n100\r\n1\r\nlower y\r\n").ExtraMessage, "lower y");
}

TEST(VersionFile, ShortOrAbsentNoticeLinesReadAsEmpty) {
    EXPECT_EQ(Read("1\r\nY\r\nY\r\nY\r\n100\r\n3\r\nonly one\r\n").ExtraMessage, "only one");
    EXPECT_EQ(Read("1\r\nY\r\nY\r\nY\r\n100\r\n0\r\nnone\r\n").ExtraMessage, "");
    EXPECT_EQ(Read("1\r\nY\r\nY\r\nY\r\n100\r\n-4\r\nnone\r\n").ExtraMessage, "");
    // A huge count on a short file ends with the file.
    EXPECT_EQ(Read("1\r\nY\r\nY\r\nY\r\n100\r\n2147483647\r\nlast").ExtraMessage, "last");
    // Line 4 "Y" as the last line: target and count read as empty, which is not a number.
    EXPECT_TRUE(Read("1\r\nY\r\nY\r\nY\r\n").UpdateArchiveMissing);
}

TEST(VersionFile, NonIntegerTargetOrCountMakesTheFileUnreadable) {
    for (const char* text : {"1.0\r\nY\r\nN\r\nY\r\nall\r\n1\r\nnote\r\n",
                             "1.0\r\nY\r\nN\r\nY\r\n100\r\none\r\nnote\r\n"}) {
        const auto v = Read(text);
        EXPECT_EQ(v.Version, "") << text;
        EXPECT_EQ(v.ExtraMessage, "");
        EXPECT_TRUE(v.UpdateArchiveMissing);
        EXPECT_TRUE(v.PatchArchiveMissing);
        // What was read before the failure stays.
        EXPECT_TRUE(v.UpdateWanted);
        EXPECT_FALSE(v.PatchWanted);
    }
}

TEST(VersionFile, NoticeTargetsFilterByEdition) {
    auto notice = [](const char* target, bool le) {
        return Read(std::string("1\r\nY\r\nY\r\nY\r\n") + target + "\r\n1\r\nnote\r\n", Edition(le))
            .ExtraMessage;
    };
    for (bool le : {false, true}) {
        EXPECT_EQ(notice("100", le), "note");
        EXPECT_EQ(notice("356", le), "note"); // low 8 bits are 100
        EXPECT_EQ(notice("3", le), "note");
        EXPECT_EQ(notice("0", le), "note");
        EXPECT_EQ(notice("12", le), "note");
    }
    EXPECT_EQ(notice("1", true), "");
    EXPECT_EQ(notice("1", false), "note");
    EXPECT_EQ(notice("257", true), ""); // maps to kind 1
    EXPECT_EQ(notice("2", false), "");
    EXPECT_EQ(notice("2", true), "note");
}

// A stream that fails part-way, as a disk read error would.
class FailingStream : public TMemoryStream {
  public:
    using TMemoryStream::TMemoryStream;
    int32_t Read(void* buffer, int32_t count) override {
        if (calls_++ > 0)
            throw EReadError();
        return TMemoryStream::Read(buffer, std::min<int32_t>(count, 6));
    }

  private:
    int calls_ = 0;
};

TEST(VersionFile, ReadErrorKeepsWhatWasRead) {
    const std::string text = "1.0\r\nY\r\nY\r\n";
    FailingStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    const auto v = ReadVersionFile(stream, {false, true, true});
    EXPECT_TRUE(v.UpdateArchiveMissing);
    EXPECT_TRUE(v.PatchArchiveMissing);
    EXPECT_EQ(v.Version, "");
    EXPECT_FALSE(v.PatchWanted);
}

TEST(VersionFile, MissingFileIsUnreadable) {
    const auto v = ReadVersionFile("no-such-folder-8723\\ORU.VER", {});
    EXPECT_TRUE(v.UpdateArchiveMissing);
    EXPECT_TRUE(v.PatchArchiveMissing);
    EXPECT_FALSE(v.UpdateWanted);
}

} // namespace
