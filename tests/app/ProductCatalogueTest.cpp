#include "install/ProductCatalogue.h"

#include <gtest/gtest.h>

#include <atomic>
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
        SetRunningAsLibrary(false);
        SetCodewellExecutableNames({"CodewellLib.dll"});
    }
};

TEST_F(CatalogueTest, ProductNumbersMapOnTheirLowEightBits) {
    const std::pair<int, int> rows[] = {{1, 1},    {8, 6},     {11, 10},        {12, 0},
                                        {257, 1},  {264, 6},   {-255, 1},       {INT32_MIN, 0}};
    for (const auto& [number, kind] : rows)
        EXPECT_EQ(ProductKindFromNumber(number), kind) << number;
}

struct Descriptor {
    int kind;
    const char* registry;
    const char* display;
    const char* exe;
    const char* data;
    const char* help;
};

TEST_F(CatalogueTest, EveryKindAnswersFromItsDescriptor) {
    SetApplicationTitleProvider([] { return std::string("ORU Update"); });
    const Descriptor table[] = {
        // The rows where a product differs from the pattern of the others.
        {0, "", "ORU Update", "", "Data\\", ""},
        {2, "Parcelon 2010", "ORU Parcelon LE", "parcelon.exe", "Data Files\\",
         "Parcelon2010LE.hlp"},
        {5, "ORU Datawright", "Datawright Manager", "OruDwr.exe", "Data\\", "OruDwr.hlp"},
        {8, "Batchlib", "Batchlib", "", "Data\\", ""},
        {10, "Parcelon 2010", "Sidecar Interface", "parcelon.exe", "Data Files\\", ""},
        {11, "", "ORU Update", "", "Data\\", ""},
    };
    for (const auto& d : table) {
        SetProductKind(static_cast<TProductKind>(d.kind));
        EXPECT_EQ(CompanyName(), "Oru Software") << d.kind;
        EXPECT_EQ(RegistryProductName(), d.registry) << d.kind;
        EXPECT_EQ(ProductDisplayName(), d.display) << d.kind;
        EXPECT_EQ(ProductExecutableName(), d.exe) << d.kind;
        EXPECT_EQ(DataFolderName(), d.data) << d.kind;
        EXPECT_EQ(HelpFileName(), d.help) << d.kind;
    }
}

TEST_F(CatalogueTest, TopBitIsKeptButIgnoredForTheAnswers) {
    SetProductKind(0x86);
    EXPECT_EQ(CurrentProductKind(), 0x86);
    EXPECT_EQ(ProductDisplayName(), "ORU Parcelon FS");
    EXPECT_EQ(HelpFileName(), "ParcelonFS.hlp");

    SetProductKind(0x80);
    EXPECT_EQ(CurrentProductKind(), 0x80);
    EXPECT_EQ(ProductExecutableName(), "");
    EXPECT_EQ(RegistryProductName(), "");
}

TEST_F(CatalogueTest, VerantoIsKeyedByTheRunningModuleName) {
    SetModuleFileNameProvider(
        [] { return std::string("C:\\Program Files\\Veranto\\VerantoApi.dll"); });
    SetProductKind(9);
    EXPECT_EQ(RegistryProductName(), "VerantoApi.dll");
    EXPECT_EQ(ProductDisplayName(), "Veranto API Platform");
    EXPECT_EQ(ProductExecutableName(), "");
    EXPECT_EQ(HelpFileName(), "");
    EXPECT_EQ(DataFolderName(), "Data\\");
}

TEST_F(CatalogueTest, RunningModuleDefaultsToTheProgramFile) {
    SetProductKind(9);
    EXPECT_EQ(RegistryProductName().rfind("app_core_tests", 0), 0u) << RegistryProductName();
    SetProductKind(0);
    EXPECT_EQ(ProductDisplayName(), "app_core_tests");
}

TEST_F(CatalogueTest, DisplayNameFallbackReadsTheTitleOnceOnTheMainThread) {
    int titleReads = 0;
    std::string title = "ORU Update";
    SetApplicationTitleProvider([&] {
        ++titleReads;
        return title;
    });
    SetModuleFileNameProvider([] { return std::string("C:\\Apps\\ORUUpdate.exe"); });

    // Before the title is cached, another thread gets the program's name.
    std::string fromWorker;
    std::thread([&] { fromWorker = ProductDisplayName(); }).join();
    EXPECT_EQ(fromWorker, "ORUUpdate");
    EXPECT_EQ(titleReads, 0);

    EXPECT_EQ(ProductDisplayName(), "ORU Update");
    title = "Changed";
    EXPECT_EQ(ProductDisplayName(), "ORU Update");
    EXPECT_EQ(titleReads, 1);

    std::thread([&] { fromWorker = ProductDisplayName(); }).join();
    EXPECT_EQ(fromWorker, "ORU Update");

    ResetProductCatalogue();
    EXPECT_EQ(ProductDisplayName(), "Changed");
}

TEST_F(CatalogueTest, ALibraryNeverShowsTheApplicationTitle) {
    SetApplicationTitleProvider([] { return std::string("Host Title"); });
    SetModuleFileNameProvider([] { return std::string("D:\\lib\\Helper.v2.dll"); });
    SetRunningAsLibrary(true);
    EXPECT_EQ(ProductDisplayName(), "Helper.v2");
}

// A finder that records what it was given and "searches" only without a seed.
struct FinderLog {
    int created = 0;
    int searches = 0;
    std::string registryName, dataFolderName;
    std::vector<std::string> executables;
    std::string seededInstall, seededData, seededPresort;
    uint8_t seededKind = 0;
    bool seededNetwork = false;
    // What a search finds.
    std::string foundInstall = "C:\\Apps\\Parcelon\\";
    bool foundNetwork = true;
};

class FakeFinder : public TFindOruPath {
  public:
    explicit FakeFinder(FinderLog& log) : log_(log) { ++log_.created; }
    void FindPaths() override {
        log_.registryName = RegistryProductName;
        log_.dataFolderName = DataFolderName;
        log_.executables = ExecutableNames;
        log_.seededInstall = InstallPath;
        log_.seededData = DataPath;
        log_.seededPresort = PresortPath;
        log_.seededKind = InstallKind;
        log_.seededNetwork = IsNetwork;
        if (!InstallPath.empty())
            return;
        ++log_.searches;
        InstallPath = log_.foundInstall;
        if (InstallPath.empty())
            return;
        IsNetwork = log_.foundNetwork;
        DataPath = InstallPath + DataFolderName;
        PresortPath = InstallPath + "Presort Tables\\";
        InstallKind = IsNetwork ? 2 : 1;
    }

  private:
    FinderLog& log_;
};

struct Paths {
    std::string data = "in-data", second = "in-second", install = "in-install";
    bool network = false;
};

Paths Lookup(bool network = false) {
    Paths p;
    p.network = network;
    GetInstallationPaths(p.data, p.second, p.network, p.install);
    return p;
}

class GetterTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        SetFindOruPathFactory([this] { return std::make_unique<FakeFinder>(log); });
    }
    FinderLog log;
};

TEST_F(GetterTest, ParcelonFamilySharesOneCache) {
    SetProductKind(1);
    Paths first = Lookup();
    EXPECT_EQ(log.searches, 1);
    EXPECT_EQ(log.registryName, "Parcelon 2010");
    EXPECT_EQ(log.dataFolderName, "Data Files\\");
    EXPECT_EQ(log.executables, (std::vector<std::string>{"parcelon.exe", "parcelonstub.exe"}));
    EXPECT_EQ(first.install, "C:\\Apps\\Parcelon\\");
    EXPECT_EQ(first.data, "C:\\Apps\\Parcelon\\Data Files\\");
    EXPECT_EQ(first.second, "C:\\Apps\\Parcelon\\Presort Tables\\");
    EXPECT_TRUE(first.network);

    for (TProductKind kind : {2, 6, 10}) {
        SetProductKind(kind);
        Paths again = Lookup(kind == 6);
        EXPECT_EQ(log.seededNetwork, kind == 6); // the caller's flag, not the cache's
        EXPECT_EQ(log.searches, 1) << int(kind);
        EXPECT_EQ(log.seededInstall, first.install);
        EXPECT_EQ(log.seededData, first.data);
        EXPECT_EQ(log.seededPresort, first.second);
        EXPECT_EQ(log.seededKind, 2);
        EXPECT_EQ(again.install, first.install);
        EXPECT_EQ(again.second, first.second);
    }
    EXPECT_EQ(log.created, 4);
}

TEST_F(GetterTest, ASearchThatFoundNothingIsRepeated) {
    log.foundInstall.clear();
    SetProductKind(6);
    Paths p = Lookup();
    EXPECT_EQ(p.install, "");
    // The finder left its empty seeds as they were.
    EXPECT_EQ(p.data, "");
    EXPECT_EQ(p.second, "");
    Lookup();
    EXPECT_EQ(log.searches, 2);
    log.foundInstall = "D:\\P\\";
    Lookup();
    Lookup();
    EXPECT_EQ(log.searches, 3);
}

TEST_F(GetterTest, DataFolderProductsReturnTheDataFolderTwice) {
    struct Case {
        TProductKind kind;
        const char* registry;
        std::vector<std::string> exes;
    };
    const Case cases[] = {{3, "Stampwise", {"StampwisePro.exe"}},
                          {4, "Codewell", {"CodewellLib.dll"}},
                          {5, "ORU Datawright", {"OruDwr.exe"}}};
    for (const auto& c : cases) {
        SetProductKind(c.kind);
        const int before = log.searches;
        Paths p = Lookup();
        EXPECT_EQ(log.searches, before + 1) << int(c.kind);
        EXPECT_EQ(log.registryName, c.registry);
        EXPECT_EQ(log.dataFolderName, "Data\\");
        EXPECT_EQ(log.executables, c.exes);
        EXPECT_EQ(p.second, p.data);
        EXPECT_EQ(p.data, "C:\\Apps\\Parcelon\\Data\\");
        // Own cache per product: a second call seeds, without the presort folder or kind.
        Lookup();
        EXPECT_EQ(log.searches, before + 1);
        EXPECT_EQ(log.seededData, p.data);
        EXPECT_EQ(log.seededPresort, "");
        EXPECT_EQ(log.seededKind, 0);
    }
}

TEST_F(GetterTest, UnibrookHasItsOwnCacheWithPresortFolder) {
    SetProductKind(1);
    Lookup();
    SetProductKind(7);
    Paths p = Lookup();
    EXPECT_EQ(log.searches, 2);
    EXPECT_EQ(log.registryName, "Unibrook");
    EXPECT_EQ(log.dataFolderName, "Data Files\\");
    EXPECT_EQ(log.executables, std::vector<std::string>{"jobrunnertools.dll"});
    EXPECT_EQ(p.second, "C:\\Apps\\Parcelon\\Presort Tables\\");
}

TEST_F(GetterTest, KindsWithoutAFinderAnswerFixedFolders) {
    for (TProductKind kind : {0, 8, 11}) {
        SetProductKind(kind);
        Paths p = Lookup(true);
        EXPECT_EQ(p.install, "") << int(kind);
        EXPECT_EQ(p.data, "");
        EXPECT_EQ(p.second, "");
        EXPECT_FALSE(p.network);
    }
    SetProductKind(9);
    Paths p = Lookup(true);
    EXPECT_EQ(p.install, "");
    EXPECT_EQ(p.data, "");
    EXPECT_EQ(p.second, "Presort Tables\\");
    EXPECT_FALSE(p.network);
    EXPECT_EQ(log.created, 0);
}

} // namespace
