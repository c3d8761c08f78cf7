// The package tool's ZIP writer, read back by the update program's own reader: what
// the tool writes must be what an update run accepts.
#include "archive/PkwareZip.h"
#include "orupack/ZipWriter.h"
#include "support/Noise.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

namespace oru::pack {
namespace {

TEST(ZipWriter, TheReaderTakesBackDirectivesTimesAndData) {
    const auto noise = oru::test::Noise<std::vector<uint8_t>>(70000, 7);
    std::vector<uint8_t> text;
    for (int i = 0; i < 2000; ++i)
        for (char c : "line " + std::to_string(i % 17) + "\r\n")
            text.push_back(static_cast<uint8_t>(c));
    const std::vector<ZipMember> members = {
        {"Tables\\New.dat", "<INSTALLDIR>;1", text, DosDateTime(2010, 12, 1, 10, 30, 0)},
        {"noise.bin", "<WINSYSDIR>;0", noise, DosDateTime(2011, 1, 2, 3, 4, 6)},
        {"empty.txt", "<TEMP>;2", {}, DosDateTime(1980, 1, 1, 0, 0, 0)},
        {"plain.txt", "", {'n', 'o'}, DosDateTime(2020, 2, 29, 23, 59, 58)}};
    ZipWriter writer;
    for (const ZipMember& m : members)
        writer.Add(m);
    oru::test::TScratch folder;
    writer.WriteFile(folder.File("ORU.mcu"));

    TPkwareZip zip;
    zip.SetFileName(folder.File("ORU.mcu"));
    ASSERT_EQ(zip.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        TPkwareZipItem& item = zip.Items()[i];
        SCOPED_TRACE(item.Name());
        EXPECT_EQ(item.Name(), members[i].Name);
        EXPECT_EQ(item.Extra(), members[i].Extra);
        EXPECT_EQ(item.DosDateTime(), members[i].DosDateTime);
        EXPECT_EQ(item.Flags(), 0); // no data descriptor, nothing a strict reader refuses
        EXPECT_EQ(item.Method(), members[i].Data.empty() ? 0 : 8); // an empty member is stored
        TMemoryStream out;
        item.Extract(&out, nullptr);
        EXPECT_EQ(out.Data(), members[i].Data);
    }
    EXPECT_LT(zip.Items()[0].CompressedSize(), static_cast<int64_t>(text.size()) / 10);

    const std::vector<uint8_t> empty = ZipWriter().Build();
    EXPECT_EQ(empty.size(), 22u); // the end record alone
    zip.OpenStream(std::make_shared<TMemoryStream>(empty));
    EXPECT_EQ(zip.Count(), 0);
}

TEST(ZipWriter, DosTimesPackDateAndTime) {
    EXPECT_EQ(DosDateTime(1980, 1, 1, 0, 0, 0), 0x00210000u);
    // 2010-12-01 10:30:58: date (30 << 9 | 12 << 5 | 1), time (10 << 11 | 30 << 5 | 29).
    EXPECT_EQ(DosDateTime(2010, 12, 1, 10, 30, 58), (uint32_t(0x3D81) << 16) | 0x53DDu);
    EXPECT_THROW(DosDateTime(1979, 12, 31, 0, 0, 0), std::runtime_error);
}

} // namespace
} // namespace oru::pack
