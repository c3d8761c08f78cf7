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
    std::string Check(TUpdateDriver& driver) { return Check(driver, {installDir, "-NV", "N", "-P", "1"}); }
};

// A package layout per row: which files lie where, and what the checks make of it.
TEST_F(DriverTest, TheFirstCheckThatFailsGivesTheMessage) {
    const std::string readerText = MessageOf<EPkwareZipError>([&] {
        TPkwareZip zip;
        zip.SetFileName(root.Write("probe\\ORU.mcu", kNotAnArchive));
        zip.Open();
    });
    struct Row {
        const char* name;
        bool exe;
        const char* version; // nullptr: no version file
        const char* update;  // "zip", "text" or nullptr
        bool patch;
        const char* engine; // "archive" (the engine and a note), "other" (no engine), "loose"
        std::string message;
        TUpdateDriver::TRun run;
        bool unpacked;
    };
    using R = TUpdateDriver::TRun;
    const Row rows[] = {
        {"nothing at all", false, nullptr, nullptr, false, nullptr, kNoExe, R::None, false},
        // Without the executable the package is not even examined.
        {"no executable", false, "1\r\nY\r\nY\r\n", "text", true, "archive", kNoExe, R::None, false},
        {"no version file", true, nullptr, nullptr, false, nullptr,
         "ORU Parcelon update archive is missing configuration file.", R::None, false},
        {"no update archive", true, "1\r\nY\r\nY\r\n", nullptr, true, nullptr,
         "The ORU Parcelon update archive is missing", R::ArchiveAndPatch, false},
        {"no patch archive", true, "1\r\nY\r\nY\r\n", "zip", false, nullptr,
         "The ORU Parcelon patch archive is missing", R::ArchiveAndPatch, false},
        {"count line no number", true, "1.0\r\nY\r\nY\r\nY\r\n100\r\nthree\r\n", "zip", true,
         nullptr, "The ORU Parcelon update archive is missing", R::ArchiveAndPatch, false},
        {"corrupt update archive", true, "1\r\nY\r\nY\r\n", "text", false, nullptr,
         "The ORU Parcelon update archive is corrupt\r\r" + readerText, R::ArchiveAndPatch, false},
        {"no engine in its archive", true, "1\r\nY\r\nY\r\n", "zip", true, "other",
         "The RTPatchW32 DLL is missing.", R::ArchiveAndPatch, true},
        {"unwanted corrupt archive is not opened", true, "1\r\nN\r\nN\r\n", "text", false, nullptr,
         "", R::None, false},
        {"everything there", true, "01.23.00.00\r\nY\r\nY\r\n", "zip", true, nullptr, "",
         R::ArchiveAndPatch, false},
        {"engine archive for a patch", true, "1\r\nN\r\nY\r\n", nullptr, true, "archive", "",
         R::Patch, true},
        {"engine archive, no patch", true, "1\r\nY\r\nN\r\n", "zip", false, "archive", "",
         R::Archive, false},
        {"loose engine", true, "1\r\nN\r\nY\r\n", nullptr, true, "loose", "", R::Patch, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(root.Root());
        root.MakeFolder("update");
        if (row.exe)
            root.Write("Parcelon\\parcelon.exe", "MZ");
        if (row.version)
            Package("ORU.VER", row.version);
        if (row.update)
            Package("ORU.mcu", row.update == std::string("zip") ? ZipOf({{"a.txt", "a"}}) : kNotAnArchive);
        if (row.patch)
            Package("ORU.rtp", "patch data");
        const std::string engine = row.engine ? row.engine : "";
        if (engine == "archive")
            Package("PATCHW32.mzp", ZipOf({{"PATCHW32.DLL", "engine"}, {"notes.txt", "n"}}));
        if (engine == "other")
            Package("PATCHW32.mzp", ZipOf({{"other.dll", "x"}}));
        if (engine == "loose")
            Package("PATCHW32.DLL", "engine");
        const std::vector<std::string> unpacked =
            engine == "other" ? std::vector<std::string>{"other.dll"}
                              : std::vector<std::string>{"PATCHW32.DLL", "notes.txt"};
        {
            TUpdateDriver driver(updateDir);
            EXPECT_EQ(Check(driver), row.message);
            EXPECT_EQ(driver.ChosenRun(), row.run);
            EXPECT_EQ(driver.ExtractedFiles.has_value(), row.unpacked);
            EXPECT_EQ(driver.LocalPatchDll, row.unpacked && engine == "archive");
            if (!row.exe || !row.version) { // nothing was read, so nothing counts as missing
                EXPECT_FALSE(driver.UpdateArchiveMissing || driver.PatchArchiveMissing);
            }
            if (row.unpacked) {
                for (const auto& file : unpacked)
                    EXPECT_TRUE(InUpdate(file)) << file;
            }
        }
        // Whatever came out of the engine archive is gone with the driver.
        for (const auto& file : unpacked)
            EXPECT_EQ(InUpdate(file), engine == "loose" && file == "PATCHW32.DLL") << file;
        // The package itself is the release's: the next run unpacks the engine from it again.
        EXPECT_EQ(InUpdate("PATCHW32.mzp"), engine == "archive" || engine == "other");
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
