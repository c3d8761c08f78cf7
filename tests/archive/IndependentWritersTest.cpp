// Archives written by Python's zipfile, 7-Zip and Info-ZIP at build time: each
// member must come out byte-identical to the file it was made from, or be refused
// with the reader's own message.
#include "archive/OruZlib.h"
#include "archive/PkwareZip.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace oru {
namespace {

using test::Bytes;

const char* const Password = "Secret123";

std::string Fixture(const std::string& name) {
    return test::FixtureDir() + name;
}

Bytes Payload(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return test::ReadWholeBytes(test::FixtureDir() + "payload/" + name);
}

bool IsFolder(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// Every member through a caller's stream; returns how many files were compared.
int CompareAllMembers(const std::string& archive, const std::string& password) {
    TPkwareZip zip;
    zip.SetFileName(Fixture(archive));
    TPkwareZipExtractInfo info;
    info.Password = password;
    int compared = 0;
    for (int32_t i = 0; i < zip.Count(); ++i) {
        TPkwareZipItem& item = zip.Items()[i];
        if (IsFolder(item.Name()))
            continue;
        TMemoryStream out;
        item.Extract(&out, &info);
        EXPECT_EQ(out.Data(), Payload(item.Name())) << archive << ": " << item.Name();
        ++compared;
    }
    return compared;
}

TEST(IndependentWriters, PythonArchiveWithDirectivesAndComments) {
    TPkwareZip zip;
    zip.SetFileName(Fixture("python-mixed.zip"));
    ASSERT_EQ(zip.Count(), 7);
    EXPECT_EQ(zip.Comment(), "Oru test package");
    EXPECT_EQ(zip.Items()[1].Extra(), "<INSTALLDIR>;1");
    EXPECT_EQ(zip.Items()[1].Comment(), "read me");
    EXPECT_EQ(zip.Items()[2].Name(), "tables\\New.dat");
    EXPECT_EQ(zip.Items()[3].Extra(), "<WINSYSDIR>;2");
    EXPECT_EQ(zip.Items()[5].Extra(), ";1");
    EXPECT_EQ(zip.Items()[6].Extra(), "");
    zip.Close(); // opened without sharing
    EXPECT_EQ(CompareAllMembers("python-mixed.zip", ""), 6);

    test::TScratch out;
    std::vector<std::string> files;
    ExtractZipFile(Fixture("python-mixed.zip"), files, out.Root().string() + "\\");
    ASSERT_EQ(files.size(), 6u);
    for (const std::string& f : files) {
        std::string name = f.substr(out.Root().string().size() + 1);
        EXPECT_EQ(test::ReadWholeBytes(test::NativePath(f)), Payload(name)) << name;
    }
}

TEST(IndependentWriters, InfoZipPlainArchives) {
    EXPECT_EQ(CompareAllMembers("infozip-plain.zip", ""), 6);
    EXPECT_EQ(CompareAllMembers("infozip-stored.zip", ""), 6);
}

TEST(IndependentWriters, SevenZipCryptoWithTheRightPassword) {
    EXPECT_EQ(CompareAllMembers("7z-crypto-deflate.zip", Password), 6);
    EXPECT_EQ(CompareAllMembers("7z-crypto-stored.zip", Password), 6);
}

TEST(IndependentWriters, SevenZipCryptoWithoutOrWithAWrongPassword) {
    for (const char* archive : {"7z-crypto-deflate.zip", "7z-crypto-stored.zip"}) {
        TPkwareZip zip;
        zip.SetFileName(Fixture(archive));
        TPkwareZipExtractInfo info;
        int refusedByCheckByte = 0;
        for (int32_t i = 0; i < zip.Count(); ++i) {
            TPkwareZipItem& item = zip.Items()[i];
            if (!item.Encrypted())
                continue;
            TMemoryStream out;
            info.Password.clear();
            try {
                item.Extract(&out, &info);
                ADD_FAILURE() << item.Name() << " extracted without a password";
            } catch (const EPkwareZipError& e) {
                EXPECT_STREQ(e.what(), "It is password protected, but no password was specified");
            }
            if (item.UncompressedSize() == 0)
                continue;
            // The check byte is one byte: a wrong password gets past it once in 256
            // tries and then fails on the data.
            info.Password = "wrong password";
            try {
                item.Extract(&out, &info);
                ADD_FAILURE() << item.Name() << " extracted with a wrong password";
            } catch (const EZlibError& e) {
                EXPECT_EQ(e.Message().rfind("Cannot extract '" + item.Name() + "'.\r", 0), 0u);
            } catch (const EPkwareZipError& e) {
                std::string m = e.what();
                EXPECT_TRUE(m == "CRC check failed for '" + item.Name() + "'" ||
                            m.rfind("Cannot extract '" + item.Name() + "'.\r", 0) == 0)
                    << m;
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "Incorrect password");
                ++refusedByCheckByte;
            }
        }
        EXPECT_GT(refusedByCheckByte, 0) << archive;
    }
}

TEST(IndependentWriters, InfoZipEncryptionUsesADataDescriptorAndIsRefused) {
    TPkwareZip zip;
    zip.SetFileName(Fixture("infozip-crypt.zip"));
    try {
        zip.Open();
        FAIL() << "opened";
    } catch (const EPkwareZipError& e) {
        EXPECT_STREQ(e.what(), "'infozip-crypt.zip' is not a valid ZIP archive");
    }
}

} // namespace
} // namespace oru
