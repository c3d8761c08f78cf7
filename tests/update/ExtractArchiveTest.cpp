#include <windows.h>

#include "ScriptedEngineSupport.h"
#include "support/Files.h"
#include "support/MessageOf.h"
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

class ExtractArchiveTest : public UpdateFormTest {
protected:
    void SetUp() override {
        UpdateFormTest::SetUp();
        install = scratch.MakeFolder("Parcelon");
        archive = scratch.File("ORU.mcu");
    }
    TfrmUpdate& Form(bool isLE = false) {
        return MakeForm({.IsLEEdition = isLE, .InstallDir = install, .UpdateArchivePath = archive});
    }
    // Runs the step on these members; true when it raised.
    bool Extract(const std::vector<TArchiveMember>& members, bool isLE = false) {
        WriteArchive(archive, members);
        try {
            Form(isLE).ExtractArchive();
            return false;
        } catch (const std::exception&) {
            return true;
        }
    }
    std::string Extracted(const std::string& path) const { return "Extracted - " + path; }

    TScratch scratch;
    std::string install;
    std::string archive;
};

TEST_F(ExtractArchiveTest, MembersGoToTheirPlaceholderFolders) {
    const std::string unique = "oru-ext-" + std::to_string(GetCurrentProcessId());
    const std::string targets[] = {install + "Tables\\New.dat", WindowsFolder() + unique + ".ini",
                                   SystemFolder() + unique + ".dll", TempFolder() + unique + ".tmp",
                                   install + "Empty.txt"};
    ASSERT_FALSE(Extract({{"<INSTALLDIR>;1", "Tables\\New.dat", "tables"},
                          {"<WINDIR>;1", unique + ".ini", "windows"},
                          {"<WINSYSDIR>;1", unique + ".dll", "system"},
                          {"<TEMP>;1", unique + ".tmp", "temporary"},
                          {"<INSTALLDIR>;1", "Empty.txt", ""}}));
    const char* const contents[] = {"tables", "windows", "system", "temporary", ""};
    std::vector<std::string> lines;
    for (size_t i = 0; i < std::size(targets); ++i) {
        EXPECT_EQ(ReadWholeFile(targets[i]), contents[i]);
        lines.push_back(Extracted(targets[i]));
        if (i > 0 && i < 4)
            DeleteFileA(targets[i].c_str());
    }
    EXPECT_EQ(History(), lines);
    EXPECT_EQ(form->edCurrentFile->Text(), "");
}

TEST_F(ExtractArchiveTest, EditionKindsSelectMembersSilently) {
    const std::vector<TArchiveMember> members = {{"<INSTALLDIR>;0", "full.dat", "0"},
                                                 {"<INSTALLDIR>;2", "le.dat", "2"},
                                                 {"<INSTALLDIR>;1", "all.dat", "1"},
                                                 {"<INSTALLDIR>;;258", "le2.dat", "258"},
                                                 {"<INSTALLDIR>;256", "full2.dat", "256"}};
    Extract(members, false);
    EXPECT_THAT(History(), ElementsAre(Extracted(install + "full.dat"), Extracted(install + "all.dat"),
                                       Extracted(install + "full2.dat")));
    EXPECT_FALSE(test::FileExists(install + "le.dat"));
    install = scratch.MakeFolder("LE");
    Extract(members, true);
    EXPECT_THAT(History(), ElementsAre(Extracted(install + "le.dat"), Extracted(install + "all.dat"),
                                       Extracted(install + "le2.dat")));
}

TEST_F(ExtractArchiveTest, AnEditionKindThatIsNoNumberEndsTheExtraction) {
    for (const char* extra : {"<INSTALLDIR>;x", ";1", ""}) {
        SCOPED_TRACE(extra);
        WriteArchive(archive, {{"<INSTALLDIR>;1", "first.dat", "1"}, {extra, "second.dat", "2"}});
        EXPECT_THROW(Form().ExtractArchive(), EConvertError);
        EXPECT_THAT(History(), ElementsAre(Extracted(install + "first.dat")));
        // What the run's failure line will show: the last target announced.
        EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "first.dat");
        EXPECT_FALSE(test::FileExists(install + "second.dat"));
    }
}

TEST_F(ExtractArchiveTest, PlaceholdersAreCaseSensitiveAndNamesMayNotLeaveTheirFolder) {
    WriteArchive(archive, {{"<installdir>;1", "Tables\\New.dat", "x"}});
    EXPECT_THROW(Form().ExtractArchive(), EPkwareZipError);
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - Tables\\New.dat");
    EXPECT_THAT(History(), IsEmpty());
    for (const char* name : {"..\\escape.dat", "Tables\\..\\..\\escape.dat", "C:\\escape.dat"}) {
        WriteArchive(archive, {{"<INSTALLDIR>;1", name, "x"}});
        EXPECT_THROW(Form().ExtractArchive(), EPkwareZipError) << name;
        EXPECT_FALSE(scratch.Exists("escape.dat")) << name;
    }
    // Climbing down and back up inside the folder is harmless.
    EXPECT_FALSE(Extract({{"<INSTALLDIR>;1", "Tables\\..\\inside.dat", "x"}}));
    EXPECT_TRUE(test::FileExists(install + "inside.dat"));
}

TEST_F(ExtractArchiveTest, EwsMembersAreSkippedReportedOrJoinedAsTheValueIsStored) {
    TRegistryKey paths("Software\\" + CompanyName() + "\\" + RegistryProductName() + "\\Paths");
    paths.Remove("AMS_CONFIG");
    paths.Remove("AMS_EWS");
    const std::vector<TArchiveMember> members = {{"<EWSDIR>;1", "ews.dat", "ews"}, {"<INSTALLDIR>;1", "next.dat", "n"}};
    const std::string next = Extracted(install + "next.dat");
    Extract(members);
    EXPECT_THAT(History(), ElementsAre("EWS file has not been installed yet - ews.dat", next));
    paths.Set("AMS_EWS", " \t ");
    Extract(members);
    EXPECT_THAT(History(), ElementsAre("EWS file has not been installed yet -  \t ews.dat", next));
    const std::string missing = scratch.File("NoEws");
    paths.Set("AMS_EWS", missing);
    Extract(members);
    EXPECT_THAT(History(), ElementsAre("EWS file is not available - " + missing + "ews.dat", next));

    // Stored without its delimiter: the messages join value and name directly, the
    // file still goes inside the folder.
    const std::string ews = scratch.MakeFolder("Ews");
    paths.Set("AMS_EWS", ews.substr(0, ews.size() - 1));
    Extract(members);
    EXPECT_EQ(ReadWholeFile(ews + "ews.dat"), "ews");
    EXPECT_EQ(History().at(0), Extracted(ews.substr(0, ews.size() - 1) + "ews.dat"));
    // A member that fails there is reported and skipped.
    paths.Set("AMS_EWS", ews);
    Extract({{"<EWSDIR>;1", "bad.dat", "broken", true}, members[1]});
    EXPECT_THAT(History(), ElementsAre("File not copied - " + ews + "bad.dat", next));
    EXPECT_FALSE(test::FileExists(ews + "bad.dat"));
}

// A member is written beside its target and moved in whole, so a new target never
// exists cut short; what a killed run left beside the targets goes on the next run.
TEST_F(ExtractArchiveTest, AFailingMemberKeepsTheOldFileAndLeavesNoTemporary) {
    WriteWholeFile(install + "parcelon.exe", "old");
    WriteWholeFile(install + "~oru0123abcd.tmp", "left by a killed run");
    WriteWholeFile(install + "~oru-notes.tmp", "the user's");
    WriteWholeFile(install + "~oru0123abcd.tmp.keep", "the user's");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "first.dat", "1"},
                           {"<INSTALLDIR>;1", "fresh.dll", "new", true},
                           {"<INSTALLDIR>;1", "parcelon.exe", "new", true},
                           {"<INSTALLDIR>;1", "never.dat", "3"}});
    EXPECT_EQ(MessageOf<EPkwareZipError>([&] { Form().ExtractArchive(); }), "CRC check failed for 'fresh.dll'");
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "fresh.dll");
    EXPECT_THAT(History(), ElementsAre(Extracted(install + "first.dat")));
    EXPECT_THAT(ListTree(install), ElementsAre("first.dat", "parcelon.exe", "~oru-notes.tmp", "~oru0123abcd.tmp.keep"));
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "old");

    WriteArchive(archive, {{"<INSTALLDIR>;1", "parcelon.exe", "new", true}});
    EXPECT_THROW(Form().ExtractArchive(), EPkwareZipError);
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "old");
}

TEST_F(ExtractArchiveTest, ATargetInUseIsReportedBeforeItsMemberFails) {
    const std::string target = install + "parcelon.exe";
    WriteWholeFile(target, "old");
    WriteArchive(archive, {{"<INSTALLDIR>;1", "parcelon.exe", "new"}});
    HANDLE inUse = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    EXPECT_ANY_THROW(Form().ExtractArchive());
    CloseHandle(inUse);
    EXPECT_THAT(History(), ElementsAre("Error deleting - " + target));
    EXPECT_EQ(ReadWholeFile(target), "old");
}

} // namespace
