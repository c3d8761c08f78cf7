#include "app/UpdateDriver.h"

#include "archive/PkwareZip.h"
#include "platform/SysUtils.h"
#include "support/MessageOf.h"
#include "support/Scratch.h"
#include "support/TestArchive.h"

#include <gtest/gtest.h>

#include <functional>

using namespace oru;
using namespace oru::test;

namespace {

const char* const kNoExe =
    "The ORU Parcelon executable was not located.\rThe update could not be performed.";

// An installation folder and an update folder with a package in it.
struct TPackageFolders {
    TScratch root{"driver"};
    std::string installDir = root.MakeFolder("Parcelon");
    std::string updateDir = root.MakeFolder("update");

    void InstallExe() { root.Write("Parcelon\\parcelon.exe", "MZ"); }
    void Package(const std::string& file, const std::string& bytes) {
        root.Write("update\\" + file, bytes);
    }
    bool InUpdate(const std::string& file) const { return root.Exists("update\\" + file); }
    void FullPackage(const std::string& versionFile) {
        Package("ORU.VER", versionFile);
        Package("ORU.mcu", ZipOf({{"readme.txt", "new"}}));
        Package("ORU.rtp", "patch data");
    }
    std::vector<std::string> Parcelon() const { return {installDir, "-NV", "N", "-P", "1"}; }

    // Runs the start up to the checks; returns the message, "" when none.
    std::string Check(TUpdateDriver& driver, const std::vector<std::string>& params) {
        EXPECT_FALSE(driver.ReadCommandLine(params).has_value());
        driver.SelectProduct();
        return driver.CheckPackage().value_or("");
    }
    std::string Check(TUpdateDriver& driver) { return Check(driver, Parcelon()); }
    std::string Check() {
        TUpdateDriver driver(updateDir);
        return Check(driver);
    }
};

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
    TPackageFolders p;
};

struct CheckRow {
    const char* name;
    std::function<void(TPackageFolders&)> layOut;
    std::string message;
};

TEST_F(DriverTest, TheFirstCheckThatFailsGivesTheMessage) {
    const CheckRow rows[] = {
        {"nothing at all", [](TPackageFolders&) {}, kNoExe},
        {"no executable", [](TPackageFolders& f) { f.FullPackage("1\r\nY\r\nY\r\n"); }, kNoExe},
        {"no version file", [](TPackageFolders& f) { f.InstallExe(); },
         "ORU Parcelon update archive is missing configuration file."},
        {"no update archive",
         [](TPackageFolders& f) {
             f.InstallExe();
             f.Package("ORU.VER", "01.23.00.00\r\nY\r\nY\r\n");
         },
         "The ORU Parcelon update archive is missing"},
        {"no patch archive",
         [](TPackageFolders& f) {
             f.InstallExe();
             f.Package("ORU.VER", "01.23.00.00\r\nY\r\nY\r\n");
             f.Package("ORU.mcu", ZipOf({{"a.txt", "a"}}));
         },
         "The ORU Parcelon patch archive is missing"},
        {"count line no number",
         [](TPackageFolders& f) {
             f.InstallExe();
             f.FullPackage("1.0\r\nY\r\nY\r\nY\r\n100\r\nthree\r\n");
         },
         "The ORU Parcelon update archive is missing"},
        {"no engine in its archive",
         [](TPackageFolders& f) {
             f.InstallExe();
             f.FullPackage("1\r\nY\r\nY\r\n");
             f.Package("PATCHW32.mzp", ZipOf({{"other.dll", "x"}}));
         },
         "The RTPatchW32 DLL is missing."},
        {"a corrupt archive that is not wanted is not opened",
         [](TPackageFolders& f) {
             f.InstallExe();
             f.Package("ORU.VER", "1\r\nN\r\nN\r\n");
             f.Package("ORU.mcu", "no archive");
         },
         ""},
        {"everything there", [](TPackageFolders& f) {
             f.InstallExe();
             f.FullPackage("01.23.00.00\r\nY\r\nY\r\n");
         },
         ""},
    };
    for (const CheckRow& row : rows) {
        SCOPED_TRACE(row.name);
        TPackageFolders folders;
        row.layOut(folders);
        EXPECT_EQ(folders.Check(), row.message);
    }
}

TEST_F(DriverTest, TheFolderIsAPlainPrefixAndNoProductNamesTheTitle) {
    p.InstallExe();
    p.FullPackage("1\r\nN\r\nN\r\n");
    std::string folder = p.installDir;
    folder.pop_back();
    TUpdateDriver driver(p.updateDir);
    EXPECT_EQ(p.Check(driver, {folder, "-NV", "N", "-P", "1"}), kNoExe);
    TUpdateDriver untitled(p.updateDir);
    EXPECT_EQ(p.Check(untitled, {}),
              "The ORU Update executable was not located.\rThe update could not be performed.");
}

TEST_F(DriverTest, WithoutTheExecutableThePackageIsNotExamined) {
    p.Package("ORU.VER", "1\r\nY\r\nY\r\n");
    p.Package("ORU.mcu", "not an archive");
    p.Package("PATCHW32.mzp", ZipOf({{"PATCHW32.DLL", "engine"}}));
    TUpdateDriver driver(p.updateDir);
    EXPECT_EQ(p.Check(driver), kNoExe);
    EXPECT_FALSE(driver.UpdateWanted);
    EXPECT_FALSE(driver.ExtractedFiles.has_value());
    EXPECT_FALSE(p.InUpdate("PATCHW32.DLL"));
}

TEST_F(DriverTest, CorruptUpdateArchiveShowsTheReadersText) {
    p.InstallExe();
    p.Package("ORU.VER", "1\r\nY\r\nY\r\n"); // the patch archive is missing too
    p.Package("ORU.mcu", "This is a text file, not an archive.\r\n");
    const std::string readerText = MessageOf<EPkwareZipError>([&] {
        TPkwareZip zip;
        zip.SetFileName(p.updateDir + "ORU.mcu");
        zip.Open();
    });
    EXPECT_EQ(p.Check(), "The ORU Parcelon update archive is corrupt\r\r" + readerText);
}

TEST_F(DriverTest, EngineArchiveIsUnpackedAndRemovedAtTheEnd) {
    p.InstallExe();
    p.FullPackage("1\r\nN\r\nY\r\n");
    p.Package("PATCHW32.mzp", ZipOf({{"PATCHW32.DLL", "engine"}, {"notes.txt", "n"}}));
    {
        TUpdateDriver driver(p.updateDir);
        EXPECT_EQ(p.Check(driver), "");
        EXPECT_TRUE(driver.LocalPatchDll);
        EXPECT_FALSE(driver.PatchDllMissing);
        ASSERT_TRUE(driver.ExtractedFiles.has_value());
        EXPECT_EQ(driver.ExtractedFiles->size(), 2u);
        EXPECT_TRUE(p.InUpdate("PATCHW32.DLL"));
        EXPECT_TRUE(p.InUpdate("notes.txt"));
        EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::Patch);
    }
    EXPECT_FALSE(p.InUpdate("PATCHW32.DLL"));
    EXPECT_FALSE(p.InUpdate("notes.txt"));
    EXPECT_TRUE(p.InUpdate("PATCHW32.mzp"));
}

TEST_F(DriverTest, AStopAfterUnpackingStillCleansUp) {
    p.InstallExe();
    p.FullPackage("1\r\nY\r\nY\r\n");
    p.Package("PATCHW32.mzp", ZipOf({{"other.dll", "x"}}));
    {
        TUpdateDriver driver(p.updateDir);
        EXPECT_EQ(p.Check(driver), "The RTPatchW32 DLL is missing.");
        EXPECT_TRUE(driver.PatchDllMissing);
        EXPECT_FALSE(driver.LocalPatchDll);
        EXPECT_TRUE(p.InUpdate("other.dll"));
    }
    EXPECT_FALSE(p.InUpdate("other.dll"));
}

TEST_F(DriverTest, TheEngineIsLocalOnlyFromItsArchiveAndOnlyForAPatch) {
    p.InstallExe();
    p.FullPackage("1\r\nY\r\nN\r\n");
    p.Package("PATCHW32.mzp", ZipOf({{"PATCHW32.DLL", "engine"}}));
    TUpdateDriver archiveOnly(p.updateDir);
    EXPECT_EQ(p.Check(archiveOnly), "");
    EXPECT_FALSE(archiveOnly.ExtractedFiles.has_value());
    EXPECT_FALSE(archiveOnly.LocalPatchDll);
    EXPECT_FALSE(p.InUpdate("PATCHW32.DLL"));

    TPackageFolders loose;
    loose.InstallExe();
    loose.FullPackage("1\r\nN\r\nY\r\n");
    loose.Package("PATCHW32.DLL", "engine");
    TUpdateDriver driver(loose.updateDir);
    EXPECT_EQ(loose.Check(driver), "");
    EXPECT_FALSE(driver.LocalPatchDll);
    EXPECT_FALSE(driver.ExtractedFiles.has_value());
}

TEST_F(DriverTest, DamagedEngineArchiveEndsTheStartWithItsError) {
    p.InstallExe();
    p.FullPackage("1\r\nN\r\nY\r\n");
    TestArchive engine;
    engine.Members.push_back({.Name = "PATCHW32.DLL", .Data = ToBytes("engine")});
    engine.Members.push_back({.Name = "b.txt", .Data = ToBytes("second"), .Crc = 0x01020304});
    p.Package("PATCHW32.mzp", ToString(engine.Build()));
    TUpdateDriver driver(p.updateDir);
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { p.Check(driver); }), "CRC check failed for 'b.txt'");
    EXPECT_FALSE(p.InUpdate("PATCHW32.DLL"));
    EXPECT_FALSE(p.InUpdate("b.txt"));
}

TEST_F(DriverTest, PackageFieldsForTheUpdateWindow) {
    p.InstallExe();
    p.FullPackage("* 12/01/2010\r\nY\r\nY\r\nY\r\n2\r\n1\r\nLE only\r\n");
    TUpdateDriver driver(p.updateDir);
    EXPECT_EQ(p.Check(driver, {p.installDir, "-nv", "y", "-p", "2"}), "");
    EXPECT_TRUE(driver.IsLEEdition);
    EXPECT_TRUE(driver.NetworkInstall);
    EXPECT_EQ(driver.InstallDir, p.installDir);
    EXPECT_EQ(driver.Version, "* 12/01/2010");
    EXPECT_EQ(driver.ExtraMessage, "LE only");
    EXPECT_EQ(driver.UpdateArchivePath, p.updateDir + "ORU.mcu");
    EXPECT_EQ(driver.PatchArchivePath, p.updateDir + "ORU.rtp");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::ArchiveAndPatch);

    TUpdateDriver full(p.updateDir);
    EXPECT_EQ(p.Check(full), "");
    EXPECT_FALSE(full.IsLEEdition);
    EXPECT_FALSE(full.NetworkInstall);
    EXPECT_EQ(full.ExtraMessage, "");
}

TEST_F(DriverTest, NothingWantedMeansNoRun) {
    p.InstallExe();
    p.Package("ORU.VER", "1\r\n");
    TUpdateDriver driver(p.updateDir);
    EXPECT_EQ(p.Check(driver), "");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::None);
    p.Package("ORU.VER", "1\r\nY\r\nN\r\n");
    p.Package("ORU.mcu", ZipOf({{"a", "a"}}));
    EXPECT_EQ(p.Check(driver), "");
    EXPECT_EQ(driver.ChosenRun(), TUpdateDriver::TRun::Archive);
}

} // namespace
