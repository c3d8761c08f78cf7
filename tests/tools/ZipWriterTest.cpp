// The package tool's ZIP writer, read back by the update program's own reader: what
// the tool writes must be what an update run accepts.
#include "archive/PkwareZip.h"
#include "orupack/ZipWriter.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <random>

using namespace oru;
using namespace oru::pack;

namespace {

class ZipWriterRoundTrip : public ::testing::Test {
  protected:
    static std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
    oru::test::TScratch folder{"zipwriter"};
};

TEST_F(ZipWriterRoundTrip, MembersComeBackWithDirectivesTimesAndData) {
    std::mt19937 random(7);
    std::vector<uint8_t> noise(70000);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "line " + std::to_string(i % 17) + "\r\n";

    ZipWriter writer;
    writer.Add({"Tables\\New.dat", "<INSTALLDIR>;1", Bytes(text), DosDateTime(2010, 12, 1, 10, 30, 0)});
    writer.Add({"noise.bin", "<WINSYSDIR>;0", noise, DosDateTime(2011, 1, 2, 3, 4, 6)});
    writer.Add({"empty.txt", "<TEMP>;2", {}, DosDateTime(1980, 1, 1, 0, 0, 0)});
    writer.Add({"plain.txt", "", Bytes("no directive"), DosDateTime(2020, 2, 29, 23, 59, 58)});
    const std::string archive = folder.File("ORU.mcu");
    writer.WriteFile(archive);

    TPkwareZip zip;
    zip.SetFileName(archive);
    ASSERT_EQ(zip.Count(), 4);
    TPkwareZipItems& items = zip.Items();
    EXPECT_EQ(items[0].Name(), "Tables\\New.dat");
    EXPECT_EQ(items[0].Extra(), "<INSTALLDIR>;1");
    EXPECT_EQ(items[0].Method(), 8);
    EXPECT_LT(items[0].CompressedSize(), static_cast<int64_t>(text.size()) / 10);
    EXPECT_EQ(items[0].DosDateTime(), DosDateTime(2010, 12, 1, 10, 30, 0));
    EXPECT_EQ(items[0].Flags(), 0); // no data descriptor, nothing a strict reader refuses
    EXPECT_EQ(items[1].Extra(), "<WINSYSDIR>;0");
    EXPECT_EQ(items[1].Crc32(), Crc32(noise));
    EXPECT_EQ(items[2].Method(), 0); // an empty member is stored
    EXPECT_EQ(items[2].UncompressedSize(), 0);
    EXPECT_EQ(items[3].Extra(), "");

    // The whole archive unpacked by the reader gives the data back.
    for (int i = 0; i < zip.Count(); ++i) {
        TPkwareZipExtractInfo info;
        info.FileName = folder.File(i == 0 ? "New.dat" : items[i].Name());
        items[i].Extract(&info);
    }
    EXPECT_EQ(folder.Read("New.dat"), text);
    EXPECT_EQ(folder.Read("noise.bin"), std::string(noise.begin(), noise.end()));
    EXPECT_EQ(folder.Read("empty.txt"), "");
    EXPECT_EQ(folder.Read("plain.txt"), "no directive");
}

TEST_F(ZipWriterRoundTrip, AnArchiveWithoutMembersIsOnlyTheEndRecord) {
    ZipWriter writer;
    std::vector<uint8_t> bytes = writer.Build();
    EXPECT_EQ(bytes.size(), 22u);
    writer.WriteFile(folder.File("empty.mcu"));
    TPkwareZip zip;
    zip.SetFileName(folder.File("empty.mcu"));
    EXPECT_EQ(zip.Count(), 0);
}

} // namespace
