#include "app/UpdateDriver.h"

#include "archive/PkwareZip.h"
#include "platform/SysUtils.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"
#include "support/TestArchive.h"

#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;

namespace {

const char* const kNoExe =
    "The ORU Parcelon executable was not located.\rThe update could not be performed.";
const char* const kNotAnArchive = "This is a text file, not an archive.\r\n";

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider([] { return std::string("ORU Update"); });
    }
    void TearDown() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider(nullptr);
    }
    TScratch root{"driver"};
    std::string installDir = root.MakeFolder("Parcelon");
    std::string updateDir = root.MakeFolder("update");

    void Package(const std::string& file, const std::string& bytes) {
        root.Write("update\\" + file, bytes);
    }
    bool InUpdate(const std::string& file) const { return root.Exists("update\\" + file); }
    // Runs the start up to the checks; returns the message, "" when none.
    std::string Check(TUpdateDriver& driver, const std::vector<std::string>& params) {
        EXPECT_FALSE(driver.ReadCommandLine(params).has_value());
        driver.SelectProduct();
        return driver.CheckPackage().value_or("");
    }
    std::string Check(TUpdateDriver& driver) {
        return Check(driver, {installDir, "-NV", "N", "-P", "1"});
    }
};

// What a package layout holds besides its version file: the product's executable, an
// update archive or a text in its place, a patch archive, an engine archive with the
// engine and a note or with another file only, or the engine loose beside the program.
enum Layout : unsigned { Exe = 1, Zip = 2, Text = 4, Rtp = 8, Engine = 16, Other = 32, Loose = 64 };

// A package layout per row: which files lie where, and what the checks make of it.
TEST_F(DriverTest, TheFirstCheckThatFailsGivesTheMessage) {
    const std::string readerText = MessageOf<EPkwareZipError>([&] {
        TPkwareZip zip;
        zip.SetFileName(root.Write("probe\\ORU.mcu", kNotAnArchive));
        zip.Open();
    });
    const std::tuple<Layout, const char*, std::string> files[] = {
        {Exe, "Parcelon\\parcelon.exe", "MZ"},
        {Zip, "update\\ORU.mcu", ZipOf({{"a.txt", "a"}})},
        {Text, "update\\ORU.mcu", kNotAnArchive},
        {Rtp, "update\\ORU.rtp", "patch data"},
        {Engine, "update\\PATCHW32.mzp", ZipOf({{"PATCHW32.DLL", "engine"}, {"notes.txt", "n"}})},
        {Other, "update\\PATCHW32.mzp", ZipOf({{"other.dll", "x"}})},
        {Loose, "update\\PATCHW32.DLL", "engine"},
    };
    const char* const both = "1\r\nY\r\nY\r\n";
    using R = TUpdateDriver::TRun;
    const struct {
        const char* name;
        unsigned layout;
        const char* version; // nullptr: no version file
        std::string message;
        R run;
        bool unpacked;
    } rows[] = {
        // Without the executable the package is not even examined.
        {"no executable", Text | Rtp | Engine, both, kNoExe, R::None, false},
        {"no version file", Exe, nullptr,
         "ORU Parcelon update archive is missing configuration file.", R::None, false},
        {"no update archive", Exe | Rtp, both, "The ORU Parcelon update archive is missing",
         R::ArchiveAndPatch, false},
        {"no patch archive", Exe | Zip, both, "The ORU Parcelon patch archive is missing",
         R::ArchiveAndPatch, false},
        {"count line no number", Exe | Zip | Rtp, "1.0\r\nY\r\nY\r\nY\r\n100\r\nthree\r\n",
         "The ORU Parcelon update archive is missing", R::ArchiveAndPatch, false},
        {"corrupt update archive", Exe | Text, both,
         "The ORU Parcelon update archive is corrupt\r\r" + readerText, R::ArchiveAndPatch, false},
        {"no engine in its archive", Exe | Zip | Rtp | Other, both,
         "The RTPatchW32 DLL is missing.", R::ArchiveAndPatch, true},
        {"unwanted corrupt archive is not opened", Exe | Text, "1\r\nN\r\nN\r\n", "", R::None,
         false},
        {"everything there", Exe | Zip | Rtp, both, "", R::ArchiveAndPatch, false},
        {"engine archive for a patch", Exe | Rtp | Engine, "1\r\nN\r\nY\r\n", "", R::Patch, true},
        {"engine archive, no patch", Exe | Zip | Engine, "1\r\nY\r\nN\r\n", "", R::Archive, false},
        {"loose engine", Exe | Rtp | Loose, "1\r\nN\r\nY\r\n", "", R::Patch, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(root.Root());
        root.MakeFolder("update");
        for (const auto& [flag, file, bytes] : files)
            if (row.layout & flag)
                root.Write(file, bytes);
        if (row.version)
            Package("ORU.VER", row.version);
        const bool loose = row.layout & Loose, engine = row.layout & Engine;
        using Names = std::vector<std::string>;
        const Names unpacked =
            row.layout & Other ? Names{"other.dll"} : Names{"PATCHW32.DLL", "notes.txt"};
        {
            TUpdateDriver driver(updateDir);
            EXPECT_EQ(Check(driver), row.message);
            EXPECT_EQ(driver.ChosenRun(), row.run);
            EXPECT_EQ(driver.ExtractedFiles.has_value(), row.unpacked);
            EXPECT_EQ(driver.LocalPatchDll, row.unpacked && engine);
            if (!(row.layout & Exe) || !row.version) { // nothing was read, so nothing is missing
                EXPECT_FALSE(driver.UpdateArchiveMissing || driver.PatchArchiveMissing);
            }
            for (const auto& file : unpacked)
                EXPECT_EQ(InUpdate(file), row.unpacked || (loose && file == "PATCHW32.DLL"))
                    << file;
        }
        // Whatever came out of the engine archive is gone with the driver.
        for (const auto& file : unpacked)
            EXPECT_EQ(InUpdate(file), loose && file == "PATCHW32.DLL") << file;
        // The package itself is the release's: the next run unpacks the engine from it again.
        EXPECT_EQ(InUpdate("PATCHW32.mzp"), (row.layout & (Engine | Other)) != 0);
    }
}

TEST_F(DriverTest, TheFolderIsAPlainPrefixAndNoProductNamesTheTitle) {
    root.Write("Parcelon\\parcelon.exe", "MZ");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver, {installDir.substr(0, installDir.size() - 1), "-NV", "N", "-P", "1"}),
              kNoExe);
    EXPECT_EQ(Check(driver, {}),
              "The ORU Update executable was not located.\rThe update could not be performed.");
}

TEST_F(DriverTest, TheEditionAndTheNetworkFlagReachThePackageFields) {
    root.Write("Parcelon\\parcelon.exe", "MZ");
    Package("ORU.VER", "* 12/01/2010\r\nN\r\nN\r\nY\r\n2\r\n1\r\nLE only\r\n");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver, {installDir, "-nv", "y", "-p", "2"}), "");
    EXPECT_TRUE(driver.IsLEEdition);
    EXPECT_TRUE(driver.NetworkInstall);
    EXPECT_EQ(driver.Version, "* 12/01/2010");
    EXPECT_EQ(driver.ExtraMessage, "LE only");
    EXPECT_EQ(Check(driver), "");
    EXPECT_FALSE(driver.IsLEEdition);
    EXPECT_FALSE(driver.NetworkInstall);
    EXPECT_EQ(driver.ExtraMessage, "");
}

} // namespace
