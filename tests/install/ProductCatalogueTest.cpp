#include "install/ProductCatalogue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace oru;

namespace {

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetProductCatalogue(); }
    void TearDown() override {
        ResetProductCatalogue();
        SetFindOruPathFactory(nullptr);
        SetApplicationTitleProvider(nullptr);
        SetModuleFileNameProvider(nullptr);
    }
};

TEST_F(CatalogueTest, ProductNumbersMapOnTheirLowEightBits) {
    const std::pair<int, int> rows[] = {{1, 1},   {8, 6},   {9, 8},    {11, 10},
                                        {12, 0},  {257, 1}, {-255, 1}, {INT32_MIN, 0}};
    for (const auto& [number, kind] : rows)
        EXPECT_EQ(ProductKindFromNumber(number), kind) << number;
}

// Only the rows that break the pattern of the others, and Unibrook's, which takes
// the Parcelon family's data folder under a key of its own; the top bit of the
// kind is kept but plays no part in the answers.
TEST_F(CatalogueTest, TheOddDescriptorsAnswerAsStored) {
    SetApplicationTitleProvider([] { return std::string("ORU Update"); });
    SetModuleFileNameProvider([] { return std::string("C:\\Veranto\\VerantoApi.dll"); });
    struct Row {
        TProductKind kind;
        const char *registry, *display, *exe, *data, *help;
    };
    const Row rows[] = {
        {0, "", "ORU Update", "", "Data\\", ""},
        {0x82, "Parcelon 2010", "ORU Parcelon LE", "parcelon.exe", "Data Files\\",
         "Parcelon2010LE.hlp"},
        {5, "ORU Datawright", "Datawright Manager", "OruDwr.exe", "Data\\", "OruDwr.hlp"},
        {7, "Unibrook", "Unibrook", "jobrunnertools.dll", "Data Files\\", "Unibrook.hlp"},
        {8, "Batchlib", "Batchlib", "", "Data\\", ""},
        {9, "VerantoApi.dll", "Veranto API Platform", "", "Data\\", ""},
        {10, "Parcelon 2010", "Sidecar Interface", "parcelon.exe", "Data Files\\", ""},
        {11, "", "ORU Update", "", "Data\\", ""},
    };
    for (const Row& r : rows) {
        SetProductKind(r.kind);
        EXPECT_EQ(CurrentProductKind(), r.kind);
        EXPECT_EQ(RegistryProductName(), r.registry) << int(r.kind);
        EXPECT_EQ(ProductDisplayName(), r.display) << int(r.kind);
        EXPECT_EQ(ProductExecutableName(), r.exe) << int(r.kind);
        EXPECT_EQ(DataFolderName(), r.data) << int(r.kind);
        EXPECT_EQ(HelpFileName(), r.help) << int(r.kind);
    }
}

TEST_F(CatalogueTest, RunningModuleDefaultsToTheProgramFile) {
    SetProductKind(9);
    EXPECT_EQ(RegistryProductName().rfind("install_neutral_tests", 0), 0u) << RegistryProductName();
}

TEST_F(CatalogueTest, DisplayNameFallbackReadsTheTitleOnceOnTheMainThread) {
    int titleReads = 0;
    std::string title = "ORU Update";
    SetApplicationTitleProvider([&] {
        ++titleReads;
        return title;
    });
    SetModuleFileNameProvider([] { return std::string("C:\\Apps\\ORUUpdate.exe"); });
    auto fromWorker = [] {
        std::string name;
        std::thread([&] { name = ProductDisplayName(); }).join();
        return name;
    };
    // Before the title is cached, another thread gets the program's name.
    EXPECT_EQ(fromWorker(), "ORUUpdate");
    EXPECT_EQ(titleReads, 0);
    EXPECT_EQ(ProductDisplayName(), "ORU Update");
    title = "Changed";
    EXPECT_EQ(ProductDisplayName(), "ORU Update");
    EXPECT_EQ(fromWorker(), "ORU Update");
    EXPECT_EQ(titleReads, 1);
    ResetProductCatalogue();
    EXPECT_EQ(ProductDisplayName(), "Changed");
}

// A finder that keeps what it was seeded with and "searches" only without a seed.
struct FinderLog {
    int created = 0, searches = 0;
    TFindOruPath seen;
    std::string foundInstall = "C:\\P\\";
};

class FakeFinder : public TFindOruPath {
  public:
    explicit FakeFinder(FinderLog& log) : log_(log) { ++log_.created; }
    void FindPaths() override {
        log_.seen = *this;
        if (!InstallPath.empty())
            return;
        ++log_.searches;
        InstallPath = log_.foundInstall;
        if (InstallPath.empty())
            return;
        IsNetwork = true;
        DataPath = InstallPath + DataFolderName;
        PresortPath = InstallPath + "Presort Tables\\";
        InstallKind = 2;
    }

  private:
    FinderLog& log_;
};

struct Paths {
    std::string data = "in-data", second = "in-second", install = "in-install";
    bool network = false;
};

class GetterTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        SetFindOruPathFactory([this] { return std::make_unique<FakeFinder>(log); });
    }
    Paths Lookup(TProductKind kind, bool network = false) {
        SetProductKind(kind);
        Paths p;
        p.network = network;
        GetInstallationPaths(p.data, p.second, p.network, p.install);
        return p;
    }
    FinderLog log;
};

TEST_F(GetterTest, ParcelonFamilySharesOneCache) {
    const Paths first = Lookup(1);
    EXPECT_EQ(log.seen.RegistryProductName, "Parcelon 2010");
    EXPECT_EQ(log.seen.DataFolderName, "Data Files\\");
    EXPECT_EQ(log.seen.ExecutableNames, (std::vector<std::string>{"parcelon.exe", "parcelonstub.exe"}));
    EXPECT_EQ(first.second, "C:\\P\\Presort Tables\\");
    for (TProductKind kind : {2, 6, 10}) {
        Lookup(kind, kind == 6);
        EXPECT_EQ(log.seen.IsNetwork, kind == 6); // the caller's flag, not the cache's
        EXPECT_EQ(log.seen.PresortPath, first.second);
        EXPECT_EQ(log.seen.InstallKind, 2);
    }
    EXPECT_EQ(log.searches, 1);
    EXPECT_EQ(log.created, 4);
}

TEST_F(GetterTest, ASearchThatFoundNothingIsRepeated) {
    log.foundInstall.clear();
    EXPECT_EQ(Lookup(6).data, ""); // the empty seeds came back
    Lookup(6);
    EXPECT_EQ(log.searches, 2);
    log.foundInstall = "D:\\P\\";
    Lookup(6);
    Lookup(6);
    EXPECT_EQ(log.searches, 3);
}

// The other getters: each its own cache; only Unibrook's keeps the presort folder
// and the kind, the others answer the data folder twice.
TEST_F(GetterTest, EveryOtherProductHasACacheOfItsOwn) {
    Lookup(1);
    for (TProductKind kind : {3, 4, 5, 7}) {
        const bool unibrook = kind == 7;
        const int before = log.searches;
        EXPECT_EQ(Lookup(kind).second, unibrook ? "C:\\P\\Presort Tables\\" : "C:\\P\\Data\\") << int(kind);
        Lookup(kind);
        EXPECT_EQ(log.searches, before + 1);
        EXPECT_EQ(log.seen.PresortPath, unibrook ? "C:\\P\\Presort Tables\\" : "");
        EXPECT_EQ(log.seen.InstallKind, unibrook ? 2 : 0);
    }
}

TEST_F(GetterTest, KindsWithoutAFinderAnswerFixedFolders) {
    for (TProductKind kind : {0, 8, 9, 11}) {
        const Paths p = Lookup(kind, true);
        EXPECT_EQ(p.install, "") << int(kind);
        EXPECT_EQ(p.data, "");
        EXPECT_EQ(p.second, kind == 9 ? "Presort Tables\\" : "");
        EXPECT_FALSE(p.network);
    }
    EXPECT_EQ(log.created, 0);
}

} // namespace
