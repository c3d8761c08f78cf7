// The patch container and its building blocks: what the writer produces the
// reader gives back, and what the reader refuses even behind a valid checksum.
#include "EngineTestSupport.h"
#include "engine/PatchCommandLine.h"
#include "engine/PatchReader.h"
#include "engine/PatchWriter.h"
#include "support/MessageOf.h"

#include <gtest/gtest.h>

namespace oru::patch {
namespace {

using oru::test::MessageOf;

TEST(Sha256, KnownDigestsAcrossChunksAndReuse) {
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    EXPECT_EQ(DigestToHex(TSha256::Of("abc", 3)), abc);
    TSha256 sha;
    const std::string a(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.Update(a.data(), a.size());
    EXPECT_EQ(DigestToHex(sha.Final()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    sha.Update("abc", 3); // Final starts a fresh digest
    EXPECT_EQ(DigestToHex(sha.Final()), abc);
}

std::vector<uint8_t> Deflate(const std::string& text) {
    return oru::test::Deflated(text.data(), text.size());
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
    // Incompressible: the compressed side spans several of the reader's buffers.
    const std::string noise = oru::test::Noise(300000, 5);
    auto big = Deflate(noise);
    EXPECT_EQ(Inflate(big, big.size(), noise.size()), noise);

    auto padded = packed, damaged = packed;
    padded.push_back(0);
    damaged[0] ^= 0xFF;
    damaged[1] ^= 0xFF;
    const struct {
        std::vector<uint8_t> bytes;
        uint64_t compressed, expected;
        const char* says;
    } bad[] = {
        {packed, packed.size(), text.size() - 1, "longer than declared"},
        {packed, packed.size(), text.size() + 1, "shorter than declared"},
        {packed, packed.size() - 3, text.size(), "ends too early"},
        {big, big.size() - 1, noise.size(), "ends too early"},
        {padded, padded.size(), text.size(), "stray bytes"},
        {damaged, damaged.size(), text.size(), "damaged"},
    };
    for (const auto& b : bad) {
        auto inflate = [&] { Inflate(b.bytes, b.compressed, b.expected); };
        EXPECT_NE(MessageOf<EDeflateError>(inflate).find(b.says), std::string::npos) << b.says;
    }
}

TEST(PatchPaths, OnlyNamesThatStayInsideTheirFolder) {
    for (const char* good : {"a.dll", "bin\\a.dll", "Data Files\\x y\\z.txt", "a..b", ".profile"})
        EXPECT_TRUE(IsSafeRelativePath(good, false)) << good;
    EXPECT_TRUE(IsSafeRelativePath("", true));
    for (const char* bad : {"", "..\\a", "a\\..\\..\\b", "\\a", "a\\", "a\\\\b", "C:\\a", "c:a",
                            "a/b", ".", "a\\.\\b", "a.", "a ", "CON", "nul.txt", "com1",
                            "LPT9.log", "a\tb", "a:stream", "a*", "x?"})
        EXPECT_FALSE(IsSafeRelativePath(bad, false)) << bad;
}

TEST(EngineCommandLine, SwitchAndQuotedOrPlainPaths) {
    auto parsed = [](const std::string& line) {
        const auto c = ParseEngineCommandLine(line);
        return c.Drives + "|" + c.TargetFolder + "|" + c.PatchFile;
    };
    EXPECT_EQ(parsed("-dCD \"D:\\Apps\\Parcelon\" \"E:\\upd\\x.rtp\""),
              "CD|D:\\Apps\\Parcelon|E:\\upd\\x.rtp");
    EXPECT_EQ(parsed("  \"C:\\\"   C:\\upd\\ORU.rtp "), "|C:\\|C:\\upd\\ORU.rtp");
    EXPECT_EQ(parsed("-dc a b"), "C|a|b");
    for (const char* bad : {"", "\"a\"", "-dC \"a\"", "\"a\" \"b\" \"c\"", "\"a \"b\"", "-x a b",
                            "-d1 a b", "\"a\"b c", "\"\" b"})
        EXPECT_THROW(ParseEngineCommandLine(bad), ECommandLineError) << bad;
}

// The reader's side of the agreement is proven by every patch run.
TEST(PatchContainer, WriterRefusesWhatTheReaderWouldRefuse) {
    TMemoryStream file, content(std::vector<uint8_t>{'h', 'i'});
    TPatchWriter w(file);
    EXPECT_THROW(w.AddGroup({"G", "", "..\\up"}), EPatchFormatError);
    w.AddGroup({"G", "", ""});
    EXPECT_THROW(w.AddGroup({"g", "", "other"}), EPatchFormatError);
    TPayloadPlace place = w.WriteDeflated(content);
    TPatchEntry add{.Path = "sub\\new.dll", .Action = TPatchAction::Add,
                    .Method = TPatchMethod::Whole, .NewSize = 2, .NewHash = TSha256::Of("hi", 2),
                    .PayloadOffset = place.Offset, .PayloadSize = place.Size,
                    .PayloadRawSize = place.RawSize};
    w.AddEntry(add);
    add.Path = "SUB\\NEW.DLL";
    w.AddEntry(add);
    EXPECT_THROW(w.Finish(), EPatchFormatError);
}

// A hand-made file with a correct checksum: the reader must still check every bound.
struct TCrafted {
    struct TGroup {
        std::string Name = "G", Text, Folder;
    };
    struct TEntry {
        uint32_t Group = 0;
        std::string Path = "a.txt";
        TPatchAction Action = TPatchAction::Add;
        TPatchMethod Method = TPatchMethod::Whole;
        uint64_t Offset = 16, Size = 2;
    };
    std::vector<TGroup> Groups{TGroup{}};
    std::vector<TEntry> Entries{TEntry{}};
    uint32_t EntryCount = 1;
    bool Stray = false;
    uint16_t Version = kFormatVersion;
    int64_t OffsetSkew = 0, SizeSkew = 0; // of the directory's place in the trailer

    std::string Refusal() const {
        TByteWriter dir;
        dir.U32(static_cast<uint32_t>(Groups.size()));
        for (const TGroup& g : Groups)
            for (const std::string* s : {&g.Name, &g.Text, &g.Folder})
                dir.Str(*s);
        dir.U32(EntryCount);
        const uint8_t zero[32] = {};
        for (const TEntry& e : Entries) {
            dir.U32(e.Group);
            dir.Str(e.Path);
            dir.U8(static_cast<uint8_t>(e.Action));
            dir.U8(static_cast<uint8_t>(e.Method));
            dir.U16(0);
            dir.U64(0);
            dir.Raw(zero, 32);
            dir.U64(1);
            dir.Raw(zero, 32);
            dir.U64(e.Offset);
            dir.U64(e.Size);
            dir.U64(1);
        }
        if (Stray)
            dir.U8(0);
        const uint8_t payload[] = {'x', 'x'};
        TMemoryStream in(
            oru::test::SealedPatchFile(payload, 2, dir.Bytes(), Version, OffsetSkew, SizeSkew));
        try {
            ReadPatchFile(in);
        } catch (const EPatchFormatError& e) {
            return e.Message();
        }
        return "accepted";
    }
};

TEST(PatchContainer, HostileDirectoryBehindValidChecksum) {
    const struct {
        std::function<void(TCrafted&)> change;
        const char* says;
    } rows[] = {
        {[](TCrafted&) {}, "accepted"},
        {[](TCrafted& p) { p.Groups.clear(); }, "impossible number of groups"},
        {[](TCrafted& p) { p.Groups[0].Name = ""; }, "invalid name or text"},
        {[](TCrafted& p) { p.Groups[0].Name = "G\x01"; }, "invalid name or text"},
        {[](TCrafted& p) { p.Groups[0].Text = "tab\there"; }, "invalid name or text"},
        {[](TCrafted& p) { p.Groups[0].Folder = ".."; }, "outside the target"},
        {[](TCrafted& p) { p.Groups.push_back({"g", "", "x"}); }, "Group 'g' appears twice"},
        {[](TCrafted& p) { p.Entries[0].Path = "..\\a.txt"; }, "not a safe relative path"},
        {[](TCrafted& p) { p.Entries[0].Group = 1; }, "group that does not exist"},
        {[](TCrafted& p) { p.Entries[0].Action = TPatchAction(9); }, "action is unknown"},
        {[](TCrafted& p) { p.Entries[0].Method = TPatchMethod::Delta; }, "needs a whole-file"},
        {[](TCrafted& p) { p.Entries[0].Offset = 17; }, "outside the payload"},
        {[](TCrafted& p) { p.Entries[0].Offset = 0; }, "outside the payload"},
        {[](TCrafted& p) { p.Entries[0].Size = ~uint64_t(0); }, "outside the payload"},
        {[](TCrafted& p) { p.Entries.clear(); p.EntryCount = 0x7FFFFFFF; }, "number of entries"},
        {[](TCrafted& p) { p.Entries.push_back({0, "A.txt"}); p.EntryCount = 2; }, "twice in its"},
        {[](TCrafted& p) { p.Stray = true; }, "stray bytes"},
        {[](TCrafted& p) { p.Version = 2; }, "format version 2"},
        // The trailer places the directory inside the header, or gives it a wrong size.
        {[](TCrafted& p) { p.OffsetSkew = -10; p.SizeSkew = 10; }, "outside the file"},
        {[](TCrafted& p) { p.SizeSkew = -1; }, "outside the file"},
    };
    for (const auto& row : rows) {
        TCrafted p;
        row.change(p);
        EXPECT_NE(p.Refusal().find(row.says), std::string::npos) << row.says << ": " << p.Refusal();
    }
    // Too short for a header and a trailer, and long enough but all wrong.
    for (const oru::test::Bytes& bytes : {oru::test::Bytes(71, 0), oru::test::Bytes(200, 'O')}) {
        TMemoryStream in(bytes);
        EXPECT_THROW(ReadPatchFile(in), EPatchFormatError);
    }
}

} // namespace
} // namespace oru::patch
