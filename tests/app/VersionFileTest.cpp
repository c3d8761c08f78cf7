#include "app/VersionFile.h"

#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;

namespace {

TVersionFileInfo Read(const std::string& text, TVersionFileContext context) {
    TMemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    return ReadVersionFile(stream, context);
}

constexpr TVersionFileContext kLe{true, true, true}; // LE edition, both archives there
constexpr TVersionFileContext kFull{false, true, true};
constexpr TVersionFileContext kNoArchives{false, false, false};

TEST(VersionFile, RowsOfTextReadAsTheProgramReadsThem) {
    struct Row {
        const char* text;
        TVersionFileContext context;
        const char* version;
        bool update, patch;               // wanted
        bool updateMissing, patchMissing; // archive missing
        const char* notice;
    };
    const Row rows[] = {
        {"", kLe, "", false, false, false, false, ""},
        // Only a whole upper- or lower-case Y wants.
        {"1\r\ny\r\nY\r\n", kLe, "1", true, true, false, false, ""},
        {"1\r\nY \r\nYes\r\n", kLe, "1", false, false, false, false, ""},
        {"01.23.00.00\r\nY\r\nN\r\nN\r\nignored\r\n", kLe, "01.23.00.00", true, false, false, false, ""},
        // A lone LF ends a line; after a CR the rest up to the next LF is passed over.
        {"1.0\nY\r\nY", kLe, "1.0", true, true, false, false, ""},
        {"1.0\rjunk\nY\r\n", kLe, "1.0", true, false, false, false, ""},
        // Missing archives count only when wanted.
        {"1\r\nY\r\nY\r\n", kNoArchives, "1", true, true, true, true, ""},
        {"1\r\nN\r\nN\r\n", kNoArchives, "1", false, false, false, false, ""},
        // Notice lines join with nothing between; short or absent lines read as empty.
        {"1\r\nY\r\nY\r\nY\r\n100\r\n2\r\nThe first half,\r\n and the second.\r\nlater\r\n", kLe,
         "1", true, true, false, false, "The first half, and the second."},
        {"1\r\nY\r\nY\r\nN\r\n100\r\n1\r\nNot read\r\n", kLe, "1", true, true, false, false, ""},
        {"1\r\nY\r\nY\r\nY\r\n100\r\n3\r\nonly one\r\n", kLe, "1", true, true, false, false, "only one"},
        {"1\r\nY\r\nY\r\nY\r\n100\r\n2147483647\r\nlast", kLe, "1", true, true, false, false, "last"},
        // A target or count that is no number makes the file unreadable; what was
        // read before the failure stays. A notice flag as the last line reads an
        // empty target.
        {"1\r\nY\r\nY\r\nY\r\n", kLe, "", true, true, true, true, ""},
        {"1.0\r\nY\r\nN\r\nY\r\nall\r\n1\r\nnote\r\n", kLe, "", true, false, true, true, ""},
        {"1.0\r\nY\r\nN\r\nY\r\n100\r\none\r\nnote\r\n", kLe, "", true, false, true, true, ""},
    };
    for (const Row& row : rows) {
        const auto v = Read(row.text, row.context);
        SCOPED_TRACE(::testing::PrintToString(std::string(row.text)));
        EXPECT_EQ(v.Version, row.version);
        EXPECT_EQ(v.UpdateWanted, row.update);
        EXPECT_EQ(v.PatchWanted, row.patch);
        EXPECT_EQ(v.UpdateArchiveMissing, row.updateMissing);
        EXPECT_EQ(v.PatchArchiveMissing, row.patchMissing);
        EXPECT_EQ(v.ExtraMessage, row.notice);
    }
}

TEST(VersionFile, NoticeTargetsFilterByEdition) {
    const std::tuple<const char*, bool, bool> rows[] = {
        // target, shown in the full edition, shown in LE
        {"100", true, true},  {"356", true, true}, // low 8 bits are 100
        {"3", true, true},    {"1", true, false},
        {"257", true, false}, {"2", false, true},
    };
    for (const auto& [target, full, le] : rows) {
        const std::string text = std::string("1\r\nY\r\nY\r\nY\r\n") + target + "\r\n1\r\nnote\r\n";
        EXPECT_EQ(Read(text, kFull).ExtraMessage, full ? "note" : "") << target;
        EXPECT_EQ(Read(text, kLe).ExtraMessage, le ? "note" : "") << target;
    }
}

// Fails on its second read, as a disk read error part-way would.
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

TEST(VersionFile, ReadErrorOrNoFileIsUnreadable) {
    const std::string text = "1.0\r\nY\r\nY\r\n";
    FailingStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    const auto v = ReadVersionFile(stream, kFull);
    EXPECT_TRUE(v.UpdateArchiveMissing && v.PatchArchiveMissing);
    EXPECT_EQ(v.Version, "");
    EXPECT_FALSE(v.PatchWanted);

    const auto missing = ReadVersionFile("no-such-folder-8723\\ORU.VER", {});
    EXPECT_TRUE(missing.UpdateArchiveMissing && missing.PatchArchiveMissing);
    EXPECT_FALSE(missing.UpdateWanted);
}

} // namespace
