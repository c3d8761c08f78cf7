#include "archive/PkwareCrypto.h"
#include "platform/SysUtils.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>


namespace oru {
namespace {

using test::Bytes;

using test::EncryptMember;

TEST(PkwareCrypto, EmptyPasswordPassesBytesThroughWithoutAHeader) {
    Bytes data = test::PatternBytes(100, 5);
    TMemoryStream source(data);
    int64_t header = -1;
    TPkwareDecryptionStream stream(source, "", 0xAB000000u, header);
    EXPECT_EQ(header, 0);
    Bytes out(200);
    ASSERT_EQ(stream.Read(out.data(), 200), 100);
    out.resize(100);
    EXPECT_EQ(out, data);
}

TEST(PkwareCrypto, HeaderIsConsumedAndTheDataDecryptAcrossReads) {
    Bytes plain = test::PatternBytes(1000, 9);
    const uint32_t crc = 0xC3A51234u;
    TMemoryStream source(EncryptMember(plain, "geheim", crc));
    int64_t header = -1;
    TPkwareDecryptionStream stream(source, "geheim", crc, header);
    EXPECT_EQ(header, 12);
    Bytes out;
    // Odd read sizes: the key stream must carry over from one read to the next.
    for (int32_t chunk : {1, 7, 100, 333, 1000}) {
        Bytes part(static_cast<size_t>(chunk));
        int32_t n = stream.Read(part.data(), chunk);
        out.insert(out.end(), part.begin(), part.begin() + n);
    }
    EXPECT_EQ(out, plain);
    EXPECT_EQ(stream.Write(plain.data(), 10), 0);
    EXPECT_EQ(stream.Seek(5, SeekOrigin::Begin), 0);
}

TEST(PkwareCrypto, WrongCheckByteRaisesIncorrectPassword) {
    const uint32_t crc = 0x7F000000u;
    Bytes encrypted = EncryptMember(test::PatternBytes(50), "right", crc);
    TMemoryStream source(encrypted);
    int64_t header = -1;
    try {
        TPkwareDecryptionStream stream(source, "right", crc ^ 0x01000000u, header);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Incorrect password");
        EXPECT_EQ(dynamic_cast<const EStreamError*>(&e), nullptr);
    }
}

TEST(PkwareCrypto, HeaderCutShortIsAReadError) {
    TMemoryStream source(Bytes(11, 0x42));
    int64_t header = -1;
    EXPECT_THROW(TPkwareDecryptionStream(source, "pw", 0, header), EReadError);
}

} // namespace
} // namespace oru
