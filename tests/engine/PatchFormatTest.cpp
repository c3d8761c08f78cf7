// The patch container and its building blocks: what the writer produces the
// reader gives back, and what the reader refuses even behind a valid checksum.
#include "engine/DeflateStreams.h"
#include "engine/PatchBytes.h"
#include "engine/PatchCommandLine.h"
#include "engine/PatchReader.h"
#include "engine/PatchWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace oru::patch {
namespace {

std::string Hex(const std::string& text) {
    return DigestToHex(TSha256::Of(text.data(), text.size()));
}

TEST(Sha256, KnownDigestsAcrossChunksAndReuse) {
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    TSha256 sha;
    std::string a(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.Update(a.data(), a.size());
    EXPECT_EQ(DigestToHex(sha.Final()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    sha.Update("abc", 3); // Final starts a fresh digest
    EXPECT_EQ(DigestToHex(sha.Final()), Hex("abc"));
}

std::vector<uint8_t> Deflate(const std::string& text) {
    TMemoryStream out;
    TDeflateWriter w(out);
    w.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
    w.Finish();
    return out.Data();
}

std::string Inflate(std::vector<uint8_t> bytes, uint64_t compressed, uint64_t expected) {
    TMemoryStream in(std::move(bytes));
    TInflateReader r(in, compressed, expected);
    std::string out(static_cast<size_t>(expected) + 16, '\0');
    int32_t n = 0, got;
    while ((got = r.Read(&out[n], 7)) > 0)
        n += got;
    r.Finish();
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST(DeflateStreams, RoundTripAndStrictBounds) {
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "line " + std::to_string(i % 97) + "\n";
    auto packed = Deflate(text);
    EXPECT_LT(packed.size(), text.size() / 4);
    EXPECT_EQ(Inflate(packed, packed.size(), text.size()), text);
    EXPECT_EQ(Inflate(Deflate(""), Deflate("").size(), 0), "");

    EXPECT_THROW(Inflate(packed, packed.size(), text.size() - 1),
                 EDeflateError); // more than declared
    EXPECT_THROW(Inflate(packed, packed.size(), text.size() + 1),
                 EDeflateError); // less than declared
    EXPECT_THROW(Inflate(packed, packed.size() - 3, text.size()), EDeflateError); // cut short
    auto padded = packed;
    padded.push_back(0);
    EXPECT_THROW(Inflate(padded, padded.size(), text.size()), EDeflateError); // stray byte
    auto damaged = packed;
    damaged[0] ^= 0xFF;
    damaged[1] ^= 0xFF;
    EXPECT_THROW(Inflate(damaged, damaged.size(), text.size()), EDeflateError);
}

TEST(PatchPaths, OnlyNamesThatStayInsideTheirFolder) {
    for (const char* good : {"a.dll", "bin\\a.dll", "Data Files\\x y\\z.txt", "a..b", ".profile"})
        EXPECT_TRUE(IsSafeRelativePath(good, false)) << good;
    EXPECT_TRUE(IsSafeRelativePath("", true));
    for (const char* bad :
         {"",         "..\\a", "a\\..\\..\\b", "\\a", "a\\", "a\\\\b", "C:\\a",   "c:a",
          "a/b",      ".",     "a\\.\\b",      "a.",  "a ",  "CON",    "nul.txt", "com1",
          "LPT9.log", "a\tb",  "a:stream",     "a*",  "x?"})
        EXPECT_FALSE(IsSafeRelativePath(bad, false)) << bad;
}

TEST(EngineCommandLine, SwitchAndQuotedOrPlainPaths) {
    auto c = ParseEngineCommandLine("-dCD \"D:\\Apps\\Parcelon\" \"E:\\upd\\x.rtp\"");
    EXPECT_EQ(c.Drives, "CD");
    EXPECT_EQ(c.TargetFolder, "D:\\Apps\\Parcelon");
    EXPECT_EQ(c.PatchFile, "E:\\upd\\x.rtp");
    c = ParseEngineCommandLine("  \"C:\\\"   C:\\upd\\ORU.rtp ");
    EXPECT_EQ(c.Drives, "");
    EXPECT_EQ(c.TargetFolder, "C:\\");
    EXPECT_EQ(c.PatchFile, "C:\\upd\\ORU.rtp");
    EXPECT_EQ(ParseEngineCommandLine("-dc a b").Drives, "C");
    for (const char* bad : {"", "\"a\"", "-dC \"a\"", "\"a\" \"b\" \"c\"", "\"a \"b\"", "-x a b",
                            "-d1 a b", "\"a\"b c", "\"\" b"})
        EXPECT_THROW(ParseEngineCommandLine(bad), ECommandLineError) << bad;
}

TPatchEntry WholeEntry(uint32_t group, const std::string& path, const TPayloadPlace& place,
                       const std::string& content) {
    TPatchEntry e;
    e.Group = group;
    e.Path = path;
    e.Action = TPatchAction::Add;
    e.Method = TPatchMethod::Whole;
    e.NewSize = content.size();
    e.NewHash = TSha256::Of(content.data(), content.size());
    e.PayloadOffset = place.Offset;
    e.PayloadSize = place.Size;
    e.PayloadRawSize = place.RawSize;
    return e;
}

TEST(PatchContainer, WriterAndReaderAgree) {
    TMemoryStream file;
    TPatchWriter w(file);
    w.AddGroup({"MAIN", "", ""});
    w.AddGroup({"UNIBROOK", "Unibrook tools", "Unibrook\\lib"});
    TMemoryStream content(std::vector<uint8_t>{'h', 'i'});
    TPayloadPlace place = w.WriteDeflated(content);
    w.AddEntry(WholeEntry(1, "sub\\new.dll", place, "hi"));
    TPatchEntry del;
    del.Path = "gone.txt";
    del.Action = TPatchAction::Delete;
    del.OldSize = 3;
    del.OldHash = TSha256::Of("old", 3);
    w.AddEntry(del);
    w.Finish();

    TPatchDirectory dir = ReadPatchFile(file);
    ASSERT_EQ(dir.Groups.size(), 2u);
    EXPECT_EQ(dir.Groups[1].Name, "UNIBROOK");
    EXPECT_EQ(dir.Groups[1].Text, "Unibrook tools");
    EXPECT_EQ(dir.Groups[1].Folder, "Unibrook\\lib");
    ASSERT_EQ(dir.Entries.size(), 2u);
    const TPatchEntry& e = dir.Entries[0];
    EXPECT_EQ(e.Group, 1u);
    EXPECT_EQ(e.Path, "sub\\new.dll");
    EXPECT_EQ(e.Action, TPatchAction::Add);
    EXPECT_EQ(e.NewHash, TSha256::Of("hi", 2));
    EXPECT_EQ(dir.Entries[1].OldHash, del.OldHash);
    file.SetPosition(static_cast<int64_t>(e.PayloadOffset));
    TInflateReader payload(file, e.PayloadSize, e.PayloadRawSize);
    char got[2];
    payload.ReadBuffer(got, 2);
    payload.Finish();
    EXPECT_EQ(std::string(got, 2), "hi");
}

TEST(PatchContainer, WriterRefusesWhatTheReaderWouldRefuse) {
    TMemoryStream file;
    TPatchWriter w(file);
    EXPECT_THROW(w.AddGroup({"G", "", "..\\up"}), EPatchFormatError);
    w.AddGroup({"G", "", ""});
    EXPECT_THROW(w.AddGroup({"g", "", "other"}), EPatchFormatError);
    TMemoryStream content(std::vector<uint8_t>{'x'});
    TPayloadPlace place = w.WriteDeflated(content);
    w.AddEntry(WholeEntry(0, "a.txt", place, "x"));
    w.AddEntry(WholeEntry(0, "A.TXT", place, "x"));
    EXPECT_THROW(w.Finish(), EPatchFormatError);
}

// A hand-made file with a correct checksum: the reader must still check every bound.
class CraftedPatch {
  public:
    TByteWriter Dir;
    uint16_t Version = kFormatVersion;
    std::string Payload = "xx";

    std::vector<uint8_t> Bytes() const {
        TByteWriter f;
        f.Raw(kHeaderMagic, 8);
        f.U16(Version);
        f.U16(0);
        f.U32(0);
        f.Raw(Payload.data(), Payload.size());
        uint64_t dirOffset = f.Bytes().size();
        f.Raw(Dir.Bytes().data(), Dir.Bytes().size());
        f.Raw(kTrailerMagic, 8);
        f.U64(dirOffset);
        f.U64(Dir.Bytes().size());
        TSha256Digest sum = TSha256::Of(f.Bytes().data(), f.Bytes().size());
        f.Raw(sum.data(), sum.size());
        return f.Bytes();
    }
    void Group(const std::string& name, const std::string& folder) {
        Dir.Str(name);
        Dir.Str("");
        Dir.Str(folder);
    }
    void Entry(uint32_t group, const std::string& path, uint64_t offset, uint64_t size,
               uint64_t raw) {
        Dir.U32(group);
        Dir.Str(path);
        Dir.U8(static_cast<uint8_t>(TPatchAction::Add));
        Dir.U8(static_cast<uint8_t>(TPatchMethod::Whole));
        Dir.U16(0);
        Dir.U64(0);
        uint8_t zero[32] = {};
        Dir.Raw(zero, 32);
        Dir.U64(raw);
        Dir.Raw(zero, 32);
        Dir.U64(offset);
        Dir.U64(size);
        Dir.U64(raw);
    }
    std::string Refusal() const {
        TMemoryStream in(Bytes());
        try {
            ReadPatchFile(in);
        } catch (const EPatchFormatError& e) {
            return e.Message();
        }
        return "accepted";
    }
};

TEST(PatchContainer, HostileDirectoryBehindValidChecksum) {
    auto oneEntry = [](const std::string& folder, uint32_t group, const std::string& path,
                       uint64_t offset, uint64_t size) {
        CraftedPatch p;
        p.Dir.U32(1);
        p.Group("G", folder);
        p.Dir.U32(1);
        p.Entry(group, path, offset, size, 1);
        return p;
    };
    EXPECT_EQ(oneEntry("", 0, "a.txt", 16, 2).Refusal(), "accepted");
    EXPECT_NE(oneEntry("..", 0, "a.txt", 16, 2).Refusal().find("outside the target"),
              std::string::npos);
    EXPECT_NE(oneEntry("", 0, "..\\a.txt", 16, 2).Refusal().find("not a safe relative path"),
              std::string::npos);
    EXPECT_NE(oneEntry("", 1, "a.txt", 16, 2).Refusal().find("group that does not exist"),
              std::string::npos);
    EXPECT_NE(oneEntry("", 0, "a.txt", 17, 2).Refusal().find("outside the payload"),
              std::string::npos);
    EXPECT_NE(oneEntry("", 0, "a.txt", 0, 2).Refusal().find("outside the payload"),
              std::string::npos);
    EXPECT_NE(oneEntry("", 0, "a.txt", 16, ~uint64_t(0)).Refusal().find("outside the payload"),
              std::string::npos);

    CraftedPatch counts;
    counts.Dir.U32(1);
    counts.Group("G", "");
    counts.Dir.U32(0x7FFFFFFF);
    EXPECT_NE(counts.Refusal().find("impossible number of entries"), std::string::npos);

    CraftedPatch twice;
    twice.Dir.U32(1);
    twice.Group("G", "");
    twice.Dir.U32(2);
    twice.Entry(0, "a.txt", 16, 2, 1);
    twice.Entry(0, "A.txt", 16, 2, 1);
    EXPECT_NE(twice.Refusal().find("appears twice"), std::string::npos);

    CraftedPatch stray = oneEntry("", 0, "a.txt", 16, 2);
    stray.Dir.U8(0);
    EXPECT_NE(stray.Refusal().find("stray bytes"), std::string::npos);

    CraftedPatch newer = oneEntry("", 0, "a.txt", 16, 2);
    newer.Version = 2;
    EXPECT_NE(newer.Refusal().find("format version 2"), std::string::npos);
}

TEST(PatchContainer, ShortOrForeignFiles) {
    for (std::vector<uint8_t> bytes :
         {std::vector<uint8_t>{}, std::vector<uint8_t>(71, 0), std::vector<uint8_t>(200, 'O')}) {
        TMemoryStream in(bytes);
        EXPECT_THROW(ReadPatchFile(in), EPatchFormatError);
    }
}

} // namespace
} // namespace oru::patch
