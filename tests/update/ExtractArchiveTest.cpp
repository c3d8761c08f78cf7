#include <windows.h>

#include "StandInEngineSupport.h"
#include "UpdateFormFixture.h"
#include "support/Files.h"
#include "support/RegistryKey.h"
#include "support/Scratch.h"
#include "support/SystemFolders.h"

#include <gmock/gmock.h>

using namespace oru;
using namespace oru::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class ExtractArchiveTest : public UpdateFormTest {
protected:
    void SetUp() override {
        UpdateFormTest::SetUp();
        install = scratch.MakeFolder("Parcelon");
    }
    // Runs the step on these members: what it raised, "" when it ran through.
    std::string Extract(const std::vector<TArchiveMember>& members, bool isLE = false) {
        const std::string archive = scratch.File("ORU.mcu");
        WriteArchive(archive, members);
        try {
            MakeForm({.IsLEEdition = isLE, .InstallDir = install, .UpdateArchivePath = archive})
                .ExtractArchive();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
    std::string Extracted(const std::string& name) const { return "Extracted - " + install + name; }

    TScratch scratch;
    std::string install;
};

TEST_F(ExtractArchiveTest, MembersGoToTheirPlaceholderFolders) {
    const std::string unique = "oru-ext-" + std::to_string(GetCurrentProcessId());
    const struct {
        std::string placeholder, name, folder, data;
    } rows[] = {{"<INSTALLDIR>", "Tables\\New.dat", install, ""},
                {"<WINDIR>", unique + ".ini", WindowsFolder(), "windows"},
                {"<WINSYSDIR>", unique + ".dll", SystemFolder(), "system"},
                {"<TEMP>", unique + ".tmp", TempFolder(), "temporary"}};
    std::vector<TArchiveMember> members;
    Lines lines;
    for (const auto& row : rows) {
        members.push_back({row.placeholder + ";1", row.name, row.data});
        lines.push_back("Extracted - " + row.folder + row.name);
    }
    ASSERT_EQ(Extract(members), "");
    for (const auto& row : rows) {
        EXPECT_EQ(ReadWholeFile(row.folder + row.name), row.data);
        if (row.folder != install)
            DeleteFileA((row.folder + row.name).c_str());
    }
    EXPECT_EQ(History(), lines);
    EXPECT_EQ(form->edCurrentFile->Text(), "");
}

TEST_F(ExtractArchiveTest, EditionKindsSelectMembersSilentlyAndOneThatIsNoNumberEndsTheRun) {
    const std::vector<TArchiveMember> members = {{"<INSTALLDIR>;0", "full.dat", "0"},
                                                 {"<INSTALLDIR>;2", "le.dat", "2"},
                                                 {"<INSTALLDIR>;1", "all.dat", "1"},
                                                 {"<INSTALLDIR>;;258", "le2.dat", "258"},
                                                 {"<INSTALLDIR>;256", "full2.dat", "256"}};
    Extract(members, false);
    EXPECT_THAT(History(),
                ElementsAre(Extracted("full.dat"), Extracted("all.dat"), Extracted("full2.dat")));
    EXPECT_FALSE(FileExists(install + "le.dat"));
    install = scratch.MakeFolder("LE");
    Extract(members, true);
    EXPECT_THAT(History(),
                ElementsAre(Extracted("le.dat"), Extracted("all.dat"), Extracted("le2.dat")));

    install = scratch.MakeFolder("NoNumber");
    EXPECT_THAT(Extract({members[2], {"<INSTALLDIR>;x", "second.dat", "2"}}),
                HasSubstr("is not a valid integer value"));
    EXPECT_THAT(History(), ElementsAre(Extracted("all.dat")));
    // What the run's failure line will show: the last target announced.
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "all.dat");
    EXPECT_FALSE(FileExists(install + "second.dat"));
}

TEST_F(ExtractArchiveTest, PlaceholdersAreCaseSensitiveAndNamesMayNotLeaveTheirFolder) {
    EXPECT_THAT(Extract({{"<installdir>;1", "Tables\\New.dat", "x"}}),
                HasSubstr("names no known target folder"));
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - Tables\\New.dat");
    EXPECT_THAT(History(), IsEmpty());
    for (const char* name : {"..\\escape.dat", "Tables\\..\\..\\escape.dat", "C:\\escape.dat"}) {
        EXPECT_THAT(Extract({{"<INSTALLDIR>;1", name, "x"}}), HasSubstr("leaves its target folder"))
            << name;
        EXPECT_FALSE(scratch.Exists("escape.dat")) << name;
    }
    // Climbing down and back up inside the folder is harmless.
    EXPECT_EQ(Extract({{"<INSTALLDIR>;1", "Tables\\..\\inside.dat", "x"}}), "");
    EXPECT_TRUE(FileExists(install + "inside.dat"));
}

TEST_F(ExtractArchiveTest, EwsMembersAreSkippedReportedOrJoinedAsTheValueIsStored) {
    TRegistryKey paths("Software\\" + CompanyName() + "\\" + RegistryProductName() + "\\Paths");
    paths.Remove("AMS_CONFIG");
    paths.Remove("AMS_EWS");
    const std::vector<TArchiveMember> members = {{"<EWSDIR>;1", "ews.dat", "ews"},
                                                 {"<INSTALLDIR>;1", "next.dat", "n"}};
    const std::string missing = scratch.File("NoEws");
    const std::pair<const char*, std::string> rows[] = {
        {nullptr, "EWS file has not been installed yet - ews.dat"},
        {" \t ", "EWS file has not been installed yet -  \t ews.dat"},
        {missing.c_str(), "EWS file is not available - " + missing + "ews.dat"}};
    for (const auto& [value, line] : rows) {
        if (value)
            paths.Set("AMS_EWS", value);
        Extract(members);
        EXPECT_THAT(History(), ElementsAre(line, Extracted("next.dat")));
    }
    // Stored without its delimiter: the messages join value and name directly, the
    // file still goes inside the folder.
    const std::string ews = scratch.MakeFolder("Ews");
    paths.Set("AMS_EWS", ews.substr(0, ews.size() - 1));
    Extract(members);
    EXPECT_EQ(ReadWholeFile(ews + "ews.dat"), "ews");
    EXPECT_EQ(History().at(0), "Extracted - " + ews.substr(0, ews.size() - 1) + "ews.dat");
    // A member that fails there is reported and skipped.
    paths.Set("AMS_EWS", ews);
    Extract({{"<EWSDIR>;1", "bad.dat", "broken", true}, members[1]});
    EXPECT_THAT(History(),
                ElementsAre("File not copied - " + ews + "bad.dat", Extracted("next.dat")));
    EXPECT_FALSE(FileExists(ews + "bad.dat"));
}

// A member is written beside its target and moved in whole, so a new target never
// exists cut short; what a killed run left beside the targets goes on the next run.
TEST_F(ExtractArchiveTest, AFailingMemberKeepsTheOldFileAndLeavesNoTemporary) {
    WriteWholeFile(install + "parcelon.exe", "old");
    WriteWholeFile(install + "~oru0123abcd.tmp", "left by a killed run");
    WriteWholeFile(install + "~oru-notes.tmp", "the user's");
    WriteWholeFile(install + "~oru0123abcd.tmp.keep", "the user's");
    EXPECT_EQ(Extract({{"<INSTALLDIR>;1", "first.dat", "1"},
                       {"<INSTALLDIR>;1", "fresh.dll", "new", true},
                       {"<INSTALLDIR>;1", "parcelon.exe", "new", true},
                       {"<INSTALLDIR>;1", "never.dat", "3"}}),
              "CRC check failed for 'fresh.dll'");
    EXPECT_EQ(form->edCurrentFile->Text(), "Extracting - " + install + "fresh.dll");
    EXPECT_THAT(History(), ElementsAre(Extracted("first.dat")));
    EXPECT_THAT(ListTree(install), ElementsAre("first.dat", "parcelon.exe", "~oru-notes.tmp",
                                               "~oru0123abcd.tmp.keep"));
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "old");

    EXPECT_NE(Extract({{"<INSTALLDIR>;1", "parcelon.exe", "new", true}}), "");
    EXPECT_EQ(ReadWholeFile(install + "parcelon.exe"), "old");
}

// Installed files may carry the read-only attribute: an update replaces them all the
// same. One that another program holds open is reported, and its member fails.
TEST_F(ExtractArchiveTest, AReadOnlyTargetIsReplacedAndOneInUseIsReportedAndKept) {
    const std::string readOnly = install + "tables.dat", inUse = install + "parcelon.exe";
    WriteWholeFile(readOnly, "old");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    WriteWholeFile(inUse, "old");
    HANDLE held = CreateFileA(inUse.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(Extract({{"<INSTALLDIR>;1", "tables.dat", "new"},
                       {"<INSTALLDIR>;1", "parcelon.exe", "new"}}),
              "");
    CloseHandle(held);
    EXPECT_THAT(History(), ElementsAre(Extracted("tables.dat"), "Error deleting - " + inUse));
    EXPECT_EQ(ReadWholeFile(readOnly), "new");
    EXPECT_EQ(ReadWholeFile(inUse), "old");
    EXPECT_THAT(ListTree(install), ElementsAre("parcelon.exe", "tables.dat")); // no temporary
}

} // namespace
