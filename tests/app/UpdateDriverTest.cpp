#include "app/UpdateDriver.h"

#include "TestPackage.h"
#include "archive/PkwareZip.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace oru;
using namespace oru::test;

namespace {

const std::vector<std::string> kParcelon = {"", "-NV", "N", "-P", "1"};

// An installation folder and an update folder with a package in it.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider([] { return std::string("ORU Update"); });
        installDir = root.Sub("Parcelon");
        updateDir = root.Sub("update");
    }
    void TearDown() override {
        ResetProductCatalogue();
        SetApplicationTitleProvider(nullptr);
    }

    void InstallExe() { WriteBytes(installDir + "parcelon.exe", "MZ"); }
    void Package(const std::string& file, const std::string& bytes) {
        WriteBytes(updateDir + file, bytes);
    }
    void FullPackage(const std::string& versionFile) {
        Package("ORU.VER", versionFile);
        Package("ORU.mcu", StoredZip({{"readme.txt", "new"}}));
        Package("ORU.rtp", "patch data");
    }

    // Runs the start up to the checks; returns the message, "" when none.
    std::string Check(TUpdateDriver& driver, std::vector<std::string> params = kParcelon) {
        if (!params.empty() && params[0].empty())
            params[0] = installDir;
        EXPECT_FALSE(driver.ReadCommandLine(params).has_value());
        driver.SelectProduct();
        return driver.CheckPackage().value_or("");
    }
    std::string Check(std::vector<std::string> params = kParcelon) {
        TUpdateDriver driver(updateDir);
        return Check(driver, std::move(params));
    }

    TScratchFolder root{"driver"};
    std::string installDir, updateDir;
};

TEST_F(DriverTest, ExecutableCheckComesFirst) {
    EXPECT_EQ(Check(),
              "The ORU Parcelon executable was not located.\rThe update could not be performed.");
    // No product: the application title stands in for the name.
    EXPECT_EQ(Check({}),
              "The ORU Update executable was not located.\rThe update could not be performed.");
    // The folder is a plain prefix: without its backslash the file is not found.
    InstallExe();
    FullPackage("1\r\nN\r\nN\r\n");
    std::string folder = installDir;
    folder.pop_back();
    EXPECT_EQ(Check({folder, "-NV", "N", "-P", "1"}),
              "The ORU Parcelon executable was not located.\rThe update could not be performed.");
}

TEST_F(DriverTest, WithoutTheExecutableThePackageIsNotExamined) {
    Package("ORU.VER", "1\r\nY\r\nY\r\n");
    Package("ORU.mcu", "not an archive");
    Package("PATCHW32.mzp", StoredZip({{"PATCHW32.DLL", "engine"}}));
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver),
              "The ORU Parcelon executable was not located.\rThe update could not be performed.");
    EXPECT_FALSE(driver.UpdateWanted);
    EXPECT_FALSE(driver.ExtractedFiles.has_value());
    EXPECT_FALSE(Exists(updateDir + "PATCHW32.DLL"));
}

TEST_F(DriverTest, ChecksReportInOrder) {
    InstallExe();
    EXPECT_EQ(Check(), "ORU Parcelon update archive is missing configuration file.");

    Package("ORU.VER", "01.23.00.00\r\nY\r\nY\r\n");
    EXPECT_EQ(Check(), "The ORU Parcelon update archive is missing");

    Package("ORU.mcu", StoredZip({{"a.txt", "a"}}));
    EXPECT_EQ(Check(), "The ORU Parcelon patch archive is missing");

    Package("ORU.rtp", "patch");
    EXPECT_EQ(Check(), "");
}

TEST_F(DriverTest, UnreadableVersionFileReportsTheArchiveMissing) {
    InstallExe();
    FullPackage("1.0\r\nY\r\nY\r\nY\r\n100\r\nthree\r\n");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver), "The ORU Parcelon update archive is missing");
    EXPECT_TRUE(driver.UpdateArchiveExists);
    EXPECT_EQ(driver.Version, "");
}

TEST_F(DriverTest, CorruptUpdateArchiveShowsTheReadersText) {
    InstallExe();
    Package("ORU.VER", "1\r\nY\r\nY\r\n"); // the patch archive is missing too
    Package("ORU.mcu", "This is a text file, not an archive.\r\n");
    std::string readerText;
    try {
        TPkwareZip zip;
        zip.SetFileName(updateDir + "ORU.mcu");
        zip.Open();
    } catch (const Exception& e) {
        readerText = e.Message();
    }
    ASSERT_FALSE(readerText.empty());
    EXPECT_EQ(Check(), "The ORU Parcelon update archive is corrupt\r\r" + readerText);
    // Not wanted, not opened.
    Package("ORU.VER", "1\r\nN\r\nN\r\n");
    EXPECT_EQ(Check(), "");
}

TEST_F(DriverTest, EngineArchiveIsUnpackedAndRemovedAtTheEnd) {
    InstallExe();
    FullPackage("1\r\nN\r\nY\r\n");
    Package("PATCHW32.mzp", StoredZip({{"PATCHW32.DLL", "engine"}, {"notes.txt", "n"}}));
    {
        TUpdateDriver driver(updateDir);
        EXPECT_EQ(Check(driver), "");
        EXPECT_TRUE(driver.LocalPatchDll);
        EXPECT_FALSE(driver.PatchDllMissing);
        ASSERT_TRUE(driver.ExtractedFiles.has_value());
        EXPECT_EQ(driver.ExtractedFiles->size(), 2u);
        EXPECT_TRUE(Exists(updateDir + "PATCHW32.DLL"));
        EXPECT_TRUE(Exists(updateDir + "notes.txt"));
        EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::Patch);
    }
    EXPECT_FALSE(Exists(updateDir + "PATCHW32.DLL"));
    EXPECT_FALSE(Exists(updateDir + "notes.txt"));
    EXPECT_TRUE(Exists(updateDir + "PATCHW32.mzp"));
}

TEST_F(DriverTest, EngineArchiveWithoutTheLibraryStopsAndIsStillCleanedUp) {
    InstallExe();
    FullPackage("1\r\nY\r\nY\r\n");
    Package("PATCHW32.mzp", StoredZip({{"other.dll", "x"}}));
    {
        TUpdateDriver driver(updateDir);
        EXPECT_EQ(Check(driver), "The RTPatchW32 DLL is missing.");
        EXPECT_TRUE(driver.PatchDllMissing);
        EXPECT_FALSE(driver.LocalPatchDll);
        EXPECT_TRUE(Exists(updateDir + "other.dll"));
    }
    EXPECT_FALSE(Exists(updateDir + "other.dll"));
}

TEST_F(DriverTest, EngineArchiveOnlyWhenThePatchIsWanted) {
    InstallExe();
    FullPackage("1\r\nY\r\nN\r\n");
    Package("PATCHW32.mzp", StoredZip({{"PATCHW32.DLL", "engine"}}));
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver), "");
    EXPECT_FALSE(driver.ExtractedFiles.has_value());
    EXPECT_FALSE(driver.LocalPatchDll);
    EXPECT_FALSE(Exists(updateDir + "PATCHW32.DLL"));
}

TEST_F(DriverTest, LooseEngineLibraryIsNotUsedLocally) {
    InstallExe();
    FullPackage("1\r\nN\r\nY\r\n");
    Package("PATCHW32.DLL", "engine");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver), "");
    EXPECT_FALSE(driver.LocalPatchDll);
    EXPECT_FALSE(driver.ExtractedFiles.has_value());
}

TEST_F(DriverTest, DamagedEngineArchiveEndsTheStartWithItsError) {
    InstallExe();
    FullPackage("1\r\nN\r\nY\r\n");
    std::string zip = StoredZip({{"PATCHW32.DLL", "engine"}, {"b.txt", "second"}});
    zip[zip.find("second")] ^= 0x55; // CRC of the second member no longer matches
    Package("PATCHW32.mzp", zip);
    TUpdateDriver driver(updateDir);
    EXPECT_THROW(Check(driver), std::exception);
    EXPECT_FALSE(Exists(updateDir + "PATCHW32.DLL"));
    EXPECT_FALSE(Exists(updateDir + "b.txt"));
}

TEST_F(DriverTest, PackageFieldsForTheUpdateWindow) {
    InstallExe();
    FullPackage("* 12/01/2010\r\nY\r\nY\r\nY\r\n2\r\n1\r\nLE only\r\n");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver, {installDir, "-nv", "y", "-p", "2"}), "");
    EXPECT_TRUE(driver.IsLEEdition);
    EXPECT_TRUE(driver.NetworkInstall);
    EXPECT_EQ(driver.InstallDir, installDir);
    EXPECT_EQ(driver.Version, "* 12/01/2010");
    EXPECT_EQ(driver.ExtraMessage, "LE only");
    EXPECT_EQ(driver.UpdateArchivePath, updateDir + "ORU.mcu");
    EXPECT_EQ(driver.PatchArchivePath, updateDir + "ORU.rtp");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::ArchiveAndPatch);

    TUpdateDriver full(updateDir);
    EXPECT_EQ(Check(full), "");
    EXPECT_FALSE(full.IsLEEdition);
    EXPECT_EQ(full.ExtraMessage, "");
}

TEST_F(DriverTest, NothingWantedMeansNoRun) {
    InstallExe();
    Package("ORU.VER", "1\r\n");
    TUpdateDriver driver(updateDir);
    EXPECT_EQ(Check(driver), "");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::None);
    Package("ORU.VER", "1\r\nY\r\nN\r\n");
    Package("ORU.mcu", StoredZip({{"a", "a"}}));
    EXPECT_EQ(Check(driver), "");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::Archive);
}

} // namespace
