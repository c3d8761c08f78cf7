#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/RegistryKey.h"
#include "support/SystemFolders.h"
#include "UpdateFormFixture.h"
#include "archive/PkwareZip.h"

#include <gmock/gmock.h>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string Unique(const std::string& stem) {
    return stem + "-" + std::to_string(GetCurrentProcessId());
}

// The product's Paths key without the configuration values, put back at the end.
struct TPathsKey : TRegistryKey {
    TPathsKey()
        : TRegistryKey("Software\\" + CompanyName() + "\\" + RegistryProductName() + "\\Paths") {
        Remove("AMS_EWS");
        Remove("AMS_CONFIG");
    }
};

class ExtractArchiveTest : public UpdateFormTest {
protected:
    void SetUp() override {
        UpdateFormTest::SetUp();
        install = scratch.File("Parcelon\\");
        CreateDirectoryA(install.c_str(), nullptr);
        archive = scratch.File("ORU.mcu");
    }
    TfrmUpdate& Form(bool isLE = false) {
        TUpdateFormArgs a;
        a.IsLEEdition = isLE;
        a.InstallDir = install;
        a.UpdateArchivePath = archive;
        return MakeForm(a);
    }

    TScratch scratch;
    std::string install;
    std::string archive;
};

TEST_F(ExtractArchiveTest, MembersGoToTheirPlaceholderFolders) {
    const std::string ini = Unique("oru-ext") + ".ini";
    const std::string dll = Unique("oru-ext") + ".dll";
    const std::string tmp = Unique("oru-ext") + ".tmp";
    WriteArchive(archive, {{"<INSTALLDIR>;1", "Tables\\New.dat", "tables"},
                           {"<INSTALLDIR>;1", "parcelon.exe", "program"},
                           {"<WINDIR>;1", ini, "windows"},
                           {"<WINSYSDIR>;1", dll, "system"},
                           {"<TEMP>;1", tmp, "temporary"},
                           {"<INSTALLDIR>;1", "Empty.txt", ""}});
    Form().ExtractArchive();

    EXPECT_EQ(ReadWholeFile(install + "Tables\\New.dat"), "tables");
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "program");
    EXPECT_EQ(ReadWholeFile(WindowsFolder() + ini), "windows");
    EXPECT_EQ(ReadWholeFile(SystemFolder() + dll), "system");
    EXPECT_EQ(ReadWholeFile(TempFolder() + tmp), "temporary");
    EXPECT_TRUE(test::FileExists(install + "Empty.txt"));
    EXPECT_THAT(History(), ElementsAre("Extracted - " + install + "Tables\\New.dat",
                                       "Extracted - " + install + "parcelon.exe",
                                       "Extracted - " + WindowsFolder() + ini,
                                       "Extracted - " + SystemFolder() + dll,
                                       "Extracted - " + TempFolder() + tmp,
                                       "Extracted - " + install + "Empty.txt"));
    EXPECT_EQ(form->edCurrentFile->Text(), "");
    for (const std::string& f : {WindowsFolder() + ini, SystemFolder() + dll, TempFolder() + tmp})
        DeleteFileA(f.c_str());
}

TEST_F(ExtractArchiveTest, EditionKindsSelectMembersSilently) {
    const std::vector<TArchiveMember> members = {{"<INSTALLDIR>;0", "full.dat", "0"},
                                                 {"<INSTALLDIR>;2", "le.dat", "2"},
                                                 {"<INSTALLDIR>;1", "all.dat", "1"},
                                                 {"<INSTALLDIR>;;258", "le2.dat", "258"},
                                                 {"<INSTALLDIR>;256", "full2.dat", "256"}};
    WriteArchive(archive, members);
    Form(false).ExtractArchive();
    EXPECT_THAT(History(), ElementsAre("Extracted - " + install + "full.dat",
                                       "Extracted - " + install + "all.dat",
                                       "Extracted - " + install + "full2.dat"));
    EXPECT_FALSE(test::FileExists(install + "le.dat"));

    TScratch other;
    install = other.File("");
    Form(true).ExtractArchive();
    EXPECT_THAT(History(), ElementsAre("Extracted - " + install + "le.dat",
                                       "Extracted - " + install + "all.dat",
                                       "Extracted - " + install + "le2.dat"));
    EXPECT_FALSE(test::FileExists(install + "full.dat"));
}

TEST_F(ExtractArchiveTest, AnEditionKindThatIsNoNumberEndsTheExtraction) {
    for (const char* extra : {"<INSTALLDIR>;x", ";1", ""}) {
        SCOPED_TRACE(extra);
        WriteArchive(archive, {{"<INSTALLDIR>;1", "first.dat", "1"}, {extra, "second.dat", "2"}});
        Form();
        EXPECT_THROW(form->ExtractArchive(), EConvertError);
        EXPECT_THAT(History(), ElementsAre("Extracted - " + install + "first.dat"));
        // What the run's failure line will show: the last target announced.
        EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "first.dat");
        EXPECT_FALSE(test::FileExists(install + "second.dat"));
    }
}

TEST_F(ExtractArchiveTest, PlaceholdersAreCaseSensitiveAndUnknownOnesAreRefused) {
    WriteArchive(archive, {{"<installdir>;1", "Tables\\New.dat", "x"}});
    Form();
    EXPECT_THROW(form->ExtractArchive(), EPkwareZipError);
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - Tables\\New.dat");
    EXPECT_THAT(History(), IsEmpty());
}

TEST_F(ExtractArchiveTest, NamesThatLeaveTheirFolderAreRefused) {
    for (const char* name : {"..\\escape.dat", "Tables\\..\\..\\escape.dat", "C:\\escape.dat"}) {
        SCOPED_TRACE(name);
        WriteArchive(archive, {{"<INSTALLDIR>;1", name, "x"}});
        Form();
        EXPECT_THROW(form->ExtractArchive(), EPkwareZipError);
        EXPECT_FALSE(test::FileExists(scratch.File("escape.dat")));
    }
    // Climbing down and back up inside the folder is harmless.
    WriteArchive(archive, {{"<INSTALLDIR>;1", "Tables\\..\\inside.dat", "x"}});
    Form().ExtractArchive();
    EXPECT_TRUE(test::FileExists(install + "inside.dat"));
}

TEST_F(ExtractArchiveTest, EwsMembersAreSkippedWhereTheDataSetIsNotInstalled) {
    TPathsKey paths;
    WriteArchive(archive, {{"<EWSDIR>;1", "ews.dat", "ews"}, {"<INSTALLDIR>;1", "next.dat", "n"}});
    Form().ExtractArchive();
    EXPECT_THAT(History(), ElementsAre("EWS file has not been installed yet - ews.dat",
                                       "Extracted - " + install + "next.dat"));

    paths.Set("AMS_EWS", " \t ");
    Form().ExtractArchive();
    EXPECT_EQ(History().at(0), "EWS file has not been installed yet -  \t ews.dat");

    const std::string missing = scratch.File("NoEws");
    paths.Set("AMS_EWS", missing);
    Form().ExtractArchive();
    EXPECT_THAT(History(), ElementsAre("EWS file is not available - " + missing + "ews.dat",
                                       "Extracted - " + install + "next.dat"));
}

TEST_F(ExtractArchiveTest, AnEwsFolderStoredWithoutItsDelimiterIsJoinedAsStored) {
    TPathsKey paths;
    const std::string ews = scratch.File("Ews");
    CreateDirectoryA(ews.c_str(), nullptr);
    paths.Set("AMS_EWS", ews); // stored without its delimiter
    WriteArchive(archive, {{"<EWSDIR>;1", "ews.dat", "direct"}});
    Form().ExtractArchive();
    // The messages join the value and the name directly; the reader still
    // writes the file inside the folder.
    EXPECT_EQ(ReadWholeFile(ews + "\\ews.dat"), "direct");
    EXPECT_THAT(History(), ElementsAre("Extracted - " + ews + "ews.dat"));
}

TEST_F(ExtractArchiveTest, AFailingEwsMemberIsReportedAndSkipped) {
    TPathsKey paths;
    const std::string ews = scratch.File("Ews\\");
    CreateDirectoryA(ews.c_str(), nullptr);
    paths.Set("AMS_EWS", ews);
    WriteArchive(archive, {{"<EWSDIR>;1", "ews.dat", "broken", true},
                           {"<INSTALLDIR>;1", "next.dat", "n"}});
    Form().ExtractArchive();
    EXPECT_THAT(History(), ElementsAre("File not copied - " + ews + "ews.dat",
                                       "Extracted - " + install + "next.dat"));
    EXPECT_FALSE(test::FileExists(ews + "ews.dat"));
}

TEST_F(ExtractArchiveTest, AFailingMemberLeavesTheOldFileInPlace) {
    WriteWholeFile(install + "parcelon.exe", "old");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "first.dat", "1"},
                           {"<INSTALLDIR>;1", "parcelon.exe", "new", true},
                           {"<INSTALLDIR>;1", "never.dat", "3"}});
    Form();
    try {
        form->ExtractArchive();
        ADD_FAILURE() << "no exception";
    } catch (const EPkwareZipError& e) {
        EXPECT_EQ(e.Message(), "CRC check failed for 'parcelon.exe'");
    }
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "old");
    EXPECT_FALSE(test::FileExists(install + "never.dat"));
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "parcelon.exe");
    EXPECT_THAT(History(), ElementsAre("Extracted - " + install + "first.dat"));
}

// A member is written beside its target and moved in whole, so a new target never
// exists cut short; what a killed run left beside the targets goes on the next run.
TEST_F(ExtractArchiveTest, NewTargetsAppearOnlyWholeAndLeftTemporariesAreRemoved) {
    WriteWholeFile(install + "~oru0123abcd.tmp", "left by a killed run");
    WriteWholeFile(install + "~oru-notes.tmp", "the user's");
    WriteWholeFile(install + "~oru0123abcd.tmp.keep", "the user's");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "first.dat", "1"},
                           {"<INSTALLDIR>;1", "fresh.dll", "new", true}});
    Form();
    EXPECT_THROW(form->ExtractArchive(), EPkwareZipError);
    EXPECT_EQ(ReadWholeFile(install + "first.dat"), "1");
    EXPECT_FALSE(test::FileExists(install + "fresh.dll"));
    EXPECT_FALSE(test::FileExists(install + "~oru0123abcd.tmp"));
    EXPECT_TRUE(test::FileExists(install + "~oru-notes.tmp"));
    EXPECT_TRUE(test::FileExists(install + "~oru0123abcd.tmp.keep"));
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((install + "~oru*.tmp").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> left;
    do
        left.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(left, std::vector<std::string>{"~oru-notes.tmp"});
}

TEST_F(ExtractArchiveTest, ATargetInUseIsReportedBeforeItsMemberFails) {
    const std::string target = install + "parcelon.exe";
    WriteWholeFile(target, "old");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "parcelon.exe", "new"}});
    HANDLE inUse = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    Form();
    EXPECT_ANY_THROW(form->ExtractArchive());
    CloseHandle(inUse);
    EXPECT_THAT(History(), ElementsAre("Error deleting - " + target));
    EXPECT_EQ(ReadWholeFile(target), "old");
}

} // namespace
