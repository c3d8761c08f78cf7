#include "orupack/PackageManifest.h"
#include "orupack/ZipWriter.h"
#include "support/MessageOf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace oru::pack;
using ::testing::StartsWith;

namespace {

TEST(PackageManifest, AFullManifest) {
    PackageManifest m = ParseManifest("# sample\r\n"
                                      "version: * 12/01/2010\r\n"
                                      "\r\n"
                                      "notice: 356\n"
                                      "notice-line: First half,\n"
                                      "notice-line:  second half.\n"
                                      "file: <INSTALLDIR>;1 Tables/New.dat = data/new.dat\n"
                                      "file: <WINSYSDIR>;0 oru.dll\n"
                                      "FILE : <EWSDIR>;1  Ews File.dat  =\tdata/ews file.dat \n"
                                      "patch-old: old\n"
                                      "patch-new: new tree\n"
                                      "patch-group: UNIBROOK=Unibrook=Job tools\n"
                                      "patch-whole: yes\n"
                                      "engine: ../engine/patchw32.dll\n"
                                      "engine-file: ../engine/readme.txt\n"
                                      "time: 1980-01-01 00:00:02\n");
    // The version, what is wanted and the notice, as the update program reads them.
    EXPECT_EQ(VersionFileText(m), "* 12/01/2010\r\nY\r\nY\r\nY\r\n356\r\n2\r\nFirst half,\r\n"
                                  " second half.\r\n");
    using Member = std::tuple<int, std::string, std::string, std::string>;
    std::vector<Member> members;
    for (const ManifestMember& x : m.Members)
        members.emplace_back(x.Line, x.Directive, x.Name, x.Source);
    EXPECT_EQ(members,
              (std::vector<Member>{{7, "<INSTALLDIR>;1", "Tables\\New.dat", "data/new.dat"},
                                   {8, "<WINSYSDIR>;0", "oru.dll", "oru.dll"},
                                   {9, "<EWSDIR>;1", "Ews File.dat", "data/ews file.dat"}}));
    EXPECT_EQ(m.PatchNew->Path, "new tree");
    ASSERT_EQ(m.PatchGroups.size(), 1u);
    EXPECT_EQ(m.PatchGroups[0].Definition, "UNIBROOK=Unibrook=Job tools");
    EXPECT_TRUE(m.PatchWholeFiles);
    EXPECT_EQ(m.Engine->Path, "../engine/patchw32.dll");
    EXPECT_EQ(m.EngineFiles.size(), 1u);
    EXPECT_EQ(*m.MemberTime, DosDateTime(1980, 1, 1, 0, 0, 2));
}

TEST(PackageManifest, WhatIsWantedFollowsThePayloadsUnlessSaid) {
    const struct {
        const char* text;
        const char* versionFile;
        bool archive, patch;
    } rows[] = {
        {"version: 1\nfile: <TEMP>;1 a.txt\n", "1\r\nY\r\nN\r\nN\r\n", true, false},
        {"version:\n", "\r\nN\r\nN\r\nN\r\n", false, false},
        // Payloads that are carried but not asked for.
        {"version: 2\nupdate: no\npatch: N\nfile: <TEMP>;1 a\npatch-old: o\npatch-new: n\n",
         "2\r\nN\r\nN\r\nN\r\n", true, true},
        {"version: 3\nnotice: 2\n", "3\r\nN\r\nN\r\nY\r\n2\r\n0\r\n", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const PackageManifest m = ParseManifest(row.text);
        EXPECT_EQ(VersionFileText(m), row.versionFile);
        EXPECT_EQ(m.HasArchive(), row.archive);
        EXPECT_EQ(m.HasPatch(), row.patch);
    }
}

TEST(PackageManifest, RefusalsNameTheirLine) {
    struct Case {
        const char* text;
        const char* refusal;
    };
    const Case cases[] = {
        {"file: <TEMP>;1 a\n", "the manifest has no 'version:' line"},
        {"version: 1\nversion: 2\n", "line 2: 'version' was already given on line 1"},
        {"version: 1\nbogus: x\n", "line 2: unknown key 'bogus'"},
        {"version: 1\njust text\n", "line 2: expected 'key: value'"},
        {"version: 1\nupdate: maybe\n", "line 2: update must be yes or no, not 'maybe'"},
        {"version: 1\nupdate: yes\n", "line 2: 'update: yes' but no 'file:' lines"},
        {"version: 1\n\npatch: yes\n", "line 3: 'patch: yes' but no 'patch-old' and 'patch-new'"},
        {"version: 1\nnotice-line: x\n", "line 2: notice-line before any 'notice: TARGET'"},
        {"version: 1\nnotice: all", "line 2: the notice target must be a whole number, not 'all'"},
        {"version: 1\nfile: <TEMP>;1\n", "line 2: expected 'file: PLACEHOLDER;KIND NAME"},
        {"version: 1\nfile: <TEMP> a\n", "line 2: the directive '<TEMP>' needs the form"},
        {"version: 1\nfile: <temp>;1 a\n",
         "line 2: unknown placeholder '<temp>' (known: <INSTALLDIR>"},
        {"version: 1\nfile: <TEMP>;x a\n", "line 2: the edition kind must be a whole number"},
        {"version: 1\nfile: <TEMP>;1 ..\\a\n", "line 2: the member name '..\\a' must not climb"},
        {"version: 1\nfile: <TEMP>;1 C:\\a\n", "line 2: the member name 'C:\\a' must be relative"},
        {"version: 1\nfile: <TEMP>;1 /a\n", "line 2: the member name '\\a' must be relative"},
        {"version: 1\nfile: <TEMP>;1 dir/\n", "line 2: the member name 'dir\\' names a folder"},
        {"version: 1\nfile: <TEMP>;1 a\\\\b\n", "line 2: the member name 'a\\\\b' has an empty"},
        {"version: 1\nfile: <TEMP>;1 a =  \n", "line 2: no source file after '='"},
        {"version: 1\nfile: <TEMP>;1 A.txt\nfile: <TEMP>;2 a.TXT = x\n",
         "line 3: 'a.TXT' goes to the same place as line 2"},
        {"version: 1\npatch-new: n\n", "line 2: a patch needs both 'patch-old' and 'patch-new'"},
        {"version: 1\npatch-group: G\n", "line 2: 'patch-group' without 'patch-old'"},
        {"version: 1\nengine-file: x\n", "line 2: 'engine-file' without 'engine'"},
        {"version: 1\nengine:\n", "line 2: 'engine' needs a path"},
        {"version: 1\ntime: 1979-12-31 23:59\n", "line 2: time must be YYYY-MM-DD HH:MM[:SS]"},
        {"version: 1\ntime: 2010-13-01 10:00\n", "line 2: time must be"},
        {"version: 1\ntime: 2010-12-01\n", "line 2: time must be"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_THAT(oru::test::MessageOf<ManifestError>([&] { ParseManifest(c.text); }),
                    StartsWith(c.refusal));
    }
    // "=" belongs to the name unless blanks surround it.
    PackageManifest equalsInName = ParseManifest("version: 1\nfile: <TEMP>;1 a=b.txt = src/x\n");
    EXPECT_EQ(equalsInName.Members[0].Name, "a=b.txt");
    EXPECT_EQ(equalsInName.Members[0].Source, "src/x");
    // The same name in two folders is two different files.
    EXPECT_NO_THROW(ParseManifest("version: 1\nfile: <TEMP>;1 a\nfile: <WINDIR>;1 a\n"));
}

} // namespace
