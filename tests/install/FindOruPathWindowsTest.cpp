#include <windows.h>

#include "install/ChooseInstallation.h"
#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "platform/PathUtilsX.h"
#include "ui/ModalHook.h"

#include "support/RegistryKey.h"
#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <random>

namespace oru {
namespace {

using test::TScratch;
using test::TTestProduct;

// The real finder with the choice between two installations answered by the
// test; the locate dialog goes to the modal hook.
class TScriptedFinder : public TFindOruPathWindows {
  public:
    uint8_t askAnswer = 0;
    int asked = 0;

    uint8_t AskInstallation() override {
        ++asked;
        return askAnswer;
    }
};

std::string ModuleFolder() {
    return ExtractFilePath(ModuleFileName(), true);
}
std::string ModuleName() {
    return std::filesystem::path(ModuleFileName()).filename().string();
}

// Every finder gets a data folder name of its own, so marker files can also be
// put beside the test program without touching anything else there.
class FindOruPathTest : public ::testing::Test {
  protected:
    TScratch dir{"finder"};
    TTestProduct product;
    TModalRecorder modal; // the locate dialog answers cancel unless a test says otherwise
    const std::string data = "Data-" + std::to_string(std::random_device{}()) + "\\";
    std::string mainDir = dir.MakeFolder("main");
    std::string networkDir = dir.MakeFolder("net");
    std::string clientDir = dir.MakeFolder("client");
    std::string dataDir = dir.MakeFolder("data"); // the registered ORU_DATA_PATH

    void SetUp() override {
        ResetProductCatalogue();
        SetProductKind(1);
    }
    void TearDown() override {
        ResetProductCatalogue();
        std::filesystem::remove_all(std::filesystem::path(ModuleFolder()) / data);
    }
    void Prepare(TFindOruPathWindows& finder) {
        finder.RegistryProductName = product.Name();
        finder.DataFolderName = data;
        finder.ExecutableNames = {"parcelon.exe", "parcelonstub.exe"};
    }
    void Register(const std::string& main, const std::string& network) {
        product.Set("ORU_PATH", main);
        product.Set("ORU_NETWORK_PATH", network);
        product.Set("ORU_CLIENT_PATH", clientDir);
        product.Set("ORU_DATA_PATH",
                    dataDir.substr(0, dataDir.size() - 1)); // stored without delimiter
    }
    void Marker(const std::string& folder, const std::string& name) {
        std::filesystem::create_directories(folder + data);
        std::ofstream(folder + data + name).close();
    }
    size_t Located() const { return modal.OpenDialogs.size(); }
};

// One case of the rules that decide between the registered folders. Folders are
// named by letter: m main, n network, c client, p the one picked in the locate
// dialog, 0 none.
struct TRuleCase {
    const char* name;
    char moduleIn;      // which registered folder the test program lies in
    bool main, network; // which registered folders exist
    std::vector<std::pair<char, const char*>> markers;
    bool startNetwork;
    uint8_t answer; // the choose dialog's
    bool pick;      // the locate dialog picks a folder rather than cancelling
    char expect;
    bool expectNetwork;
    int asked, located;
};

void PrintTo(const TRuleCase& c, std::ostream* os) {
    *os << c.name;
}

// One case per line reads as a table.
// clang-format off
const TRuleCase kRuleCases[] = {
    {"ProgramInNetworkFolder", 'n', true, true, {{'m', "ORUServer"}}, false, 0, false, 'n', true, 0, 0},
    {"ProgramInMainFolder", 'm', true, true, {}, true, 0, false, 'm', false, 0, 0},
    {"ProgramInServerMainFolder", 'm', true, true, {{'m', "ORUServer"}}, false, 0, false, 'm', true, 0, 0},
    {"ServerWinsOverLocal", 0, true, true, {{'n', "ORULocal"}, {'m', "ORUServer"}}, false, 0, false, 'm', true, 0, 0},
    {"LocalMarker", 0, true, true, {{'n', "ORULocal"}}, false, 0, false, 'n', true, 0, 0},
    {"ClientMarkerMeansNetwork", 0, true, true, {{'c', "ORUClient"}, {'m', "ORUSingle"}}, false, 0, false, 'n', true, 0, 0},
    {"OnlyNetworkExists", 0, false, true, {}, false, 0, false, 'n', true, 0, 0},
    {"OnlyMainExists", 0, true, false, {}, false, 0, false, 'm', false, 0, 0},
    {"OnlyMainExistsKeepsNetworkFlag", 0, true, false, {}, true, 0, false, 'm', true, 0, 0},
    {"SingleMarker", 0, true, true, {{'m', "ORUSingle"}}, true, 0, false, 'm', true, 0, 0},
    {"BothAskedLocal", 0, true, true, {}, false, 1, false, 'm', false, 1, 0},
    {"BothAskedNetwork", 0, true, true, {}, false, 2, false, 'n', true, 1, 0},
    {"BothAskedCancelled", 0, true, true, {}, false, 0, false, '0', false, 1, 0},
    {"NeitherLocated", 0, false, false, {}, false, 0, true, 'p', false, 0, 1},
    {"NeitherLocateCancelled", 0, false, false, {}, false, 0, false, '0', false, 0, 1},
};
// clang-format on

class FindOruPathRuleTest : public FindOruPathTest,
                            public ::testing::WithParamInterface<TRuleCase> {};

TEST_P(FindOruPathRuleTest, ChoosesFolderFlagAndKind) {
    const TRuleCase& c = GetParam();
    const std::string picked = dir.MakeFolder("picked");
    if (c.moduleIn == 'm')
        mainDir = ModuleFolder();
    if (c.moduleIn == 'n')
        networkDir = ModuleFolder();
    Register(c.main ? mainDir : dir.Dir() + "gone\\",
             c.network ? networkDir : dir.Dir() + "gone2\\");
    for (auto [where, name] : c.markers)
        Marker(where == 'm' ? mainDir : where == 'n' ? networkDir : clientDir, name);
    if (c.pick)
        modal.OnOpenDialog = [&](TOpenDialog& dialog) {
            dialog.FileName = picked + "parcelon.exe";
            return true;
        };

    TScriptedFinder finder;
    Prepare(finder);
    finder.askAnswer = c.answer;
    finder.IsNetwork = c.startNetwork;
    finder.DataPath = "seed-data\\";
    finder.PresortPath = "seed-presort\\";
    finder.FindPaths();

    EXPECT_EQ(finder.asked, c.asked);
    EXPECT_EQ(Located(), static_cast<size_t>(c.located));
    if (c.expect == '0') {
        // Nothing found: the seeds come back and the kind stays unknown.
        EXPECT_EQ(finder.InstallPath, "");
        EXPECT_EQ(finder.InstallKind, 0);
        EXPECT_EQ(finder.DataPath, "seed-data\\");
        EXPECT_EQ(finder.PresortPath, "seed-presort\\");
        return;
    }
    const std::string install = c.expect == 'm' ? mainDir : c.expect == 'n' ? networkDir : picked;
    EXPECT_EQ(finder.InstallPath, install);
    EXPECT_EQ(finder.IsNetwork, c.expectNetwork);
    EXPECT_EQ(finder.InstallKind, c.expectNetwork ? 2 : 1);
    // A network installation keeps its data beside it, whatever ORU_DATA_PATH says.
    EXPECT_EQ(finder.DataPath, c.expectNetwork ? install + data : dataDir);
    EXPECT_EQ(finder.PresortPath, install + "Presort Tables\\");
}

INSTANTIATE_TEST_SUITE_P(Rules, FindOruPathRuleTest, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FindOruPathTest, TheChoiceComesFromTheChooseDialog) {
    Register(mainDir, networkDir);
    std::vector<int> preselected;
    modal.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        preselected.push_back(dialog.rgChooseExe->ItemIndex());
        dialog.rgChooseExe->ClickItem(1);
        dialog.btnOK->Click();
        return dialog.ModalResult();
    };
    TFindOruPathWindows chosen;
    Prepare(chosen);
    chosen.FindPaths();
    EXPECT_EQ(modal.ModalForms, std::vector<std::string>{"ORU Parcelon"});
    EXPECT_EQ(preselected, std::vector<int>{-1});
    EXPECT_EQ(chosen.InstallPath, networkDir);
    EXPECT_EQ(chosen.InstallKind, 2);

    modal.OnShowModal = nullptr; // closed without a choice
    TFindOruPathWindows cancelled;
    Prepare(cancelled);
    cancelled.FindPaths();
    EXPECT_EQ(modal.ModalForms.size(), 2u);
    EXPECT_EQ(cancelled.InstallPath, "");
    EXPECT_EQ(cancelled.InstallKind, 0);
}

TEST_F(FindOruPathTest, RunningAsTheProductSkipsTheRulesAndLeavesTheKind) {
    Register(mainDir, networkDir);
    Marker(mainDir, "ORUServer");
    std::string self = ModuleName();
    for (auto& ch : self)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    TScriptedFinder fromMain;
    Prepare(fromMain);
    fromMain.ExecutableNames = {"other.exe", self};
    fromMain.FindPaths();
    EXPECT_EQ(fromMain.InstallPath, mainDir); // not the Server rule's network flag
    EXPECT_FALSE(fromMain.IsNetwork);
    EXPECT_EQ(fromMain.InstallKind, 0);
    EXPECT_EQ(fromMain.DataPath, dataDir);

    product.Set("ORU_NETWORK_PATH", ModuleFolder());
    TScriptedFinder fromNetwork;
    Prepare(fromNetwork);
    fromNetwork.ExecutableNames = {self};
    fromNetwork.FindPaths();
    EXPECT_EQ(fromNetwork.InstallPath, ModuleFolder());
    EXPECT_TRUE(fromNetwork.IsNetwork);
    EXPECT_EQ(fromNetwork.InstallKind, 0);
    EXPECT_EQ(fromNetwork.asked + fromMain.asked, 0);
    EXPECT_EQ(Located(), 0u);
}

TEST_F(FindOruPathTest, LocalInstallationFoldersFromRegistryOrBesideIt) {
    Register(mainDir, dir.Dir() + "gone\\");
    std::string tables = dir.MakeFolder("tables");
    product.Set("ORU_Presort_Path", tables);
    TScriptedFinder registered;
    Prepare(registered);
    registered.FindPaths();
    EXPECT_EQ(registered.DataPath, dataDir);
    EXPECT_EQ(registered.PresortPath, tables);

    product.Set("ORU_DATA_PATH", dir.Dir() + "no-data\\");
    product.Set("ORU_Presort_Path", dir.Dir() + "no-tables\\");
    TScriptedFinder fallback;
    Prepare(fallback);
    fallback.FindPaths();
    EXPECT_EQ(fallback.DataPath, mainDir + data);
    EXPECT_EQ(fallback.PresortPath, mainDir + "Presort Tables\\");
}

TEST_F(FindOruPathTest, SeededFolderTakesTheShortPath) {
    Register(dir.Dir() + "gone\\", networkDir); // would give the network folder if read
    TScriptedFinder seeded;
    Prepare(seeded);
    seeded.InstallPath = mainDir;
    seeded.PresortPath = "kept\\";
    seeded.InstallKind = 2;
    SetProductKind(3); // Stampwise: the catalogue now answers "Data\"
    seeded.FindPaths();
    EXPECT_EQ(seeded.InstallPath, mainDir);
    EXPECT_EQ(seeded.DataPath, mainDir + "Data\\");
    EXPECT_EQ(seeded.PresortPath, "kept\\");
    EXPECT_TRUE(seeded.IsNetwork);
    EXPECT_EQ(seeded.InstallKind, 2);
}

TEST_F(FindOruPathTest, SeededFolderThatIsGoneComesBackUnchangedWithoutRegistryRead) {
    TScriptedFinder seeded;
    Prepare(seeded);
    seeded.InstallPath = dir.Dir() + "removed\\";
    seeded.InstallKind = 1;
    seeded.IsNetwork = true;
    seeded.FindPaths();
    EXPECT_EQ(seeded.InstallPath, dir.Dir() + "removed\\");
    EXPECT_EQ(seeded.DataPath, "");
    EXPECT_EQ(seeded.PresortPath, "");
    EXPECT_FALSE(seeded.IsNetwork);
    EXPECT_EQ(seeded.InstallKind, 1);
    // Reading would have created the product's Paths key.
    EXPECT_FALSE(product.KeyExists());
}

TEST(ReadPathsValue, CreatesMissingKeyAndReadsOnlyPlainStrings) {
    TTestProduct product;
    EXPECT_EQ(ReadPathsValue(product.Name(), "ORU_PATH"), "");
    EXPECT_TRUE(product.KeyExists());
    product.Set("ORU_PATH", "C:\\Apps\\");
    product.Set("Expand", "%TEMP%", REG_EXPAND_SZ);
    product.Set("Dword", "abc", REG_DWORD);
    EXPECT_EQ(ReadPathsValue(product.Name(), "ORU_PATH"), "C:\\Apps\\");
    EXPECT_EQ(ReadPathsValue(product.Name(), "Expand"), "");
    EXPECT_EQ(ReadPathsValue(product.Name(), "Dword"), "");
}

TEST(LocateProgram, AsksForTheProductsExecutableStartingOnTheDesktop) {
    ResetProductCatalogue();
    SetProductKind(3);
    TScratch dir("locate");
    std::string file = dir.Write("StampwisePro.exe", "");
    TModalRecorder modal;
    modal.OnOpenDialog = [&](TOpenDialog& dialog) {
        dialog.FileName = file;
        return true;
    };
    EXPECT_EQ(LocateProgram(), dir.Dir());
    modal.OnOpenDialog = nullptr;
    EXPECT_EQ(LocateProgram(), "");
    ResetProductCatalogue();

    ASSERT_EQ(modal.OpenDialogs.size(), 2u);
    const TOpenDialogSettings& asked = modal.OpenDialogs[0];
    EXPECT_EQ(asked.Title, "Locate StampwisePro.exe");
    EXPECT_EQ(asked.Filter, "StampwisePro.exe program|StampwisePro.exe");
    EXPECT_EQ(asked.FilterIndex, 1);
    EXPECT_EQ(asked.DefaultExt, "exe");
    EXPECT_EQ(asked.FileName, "StampwisePro.exe");
    EXPECT_EQ(asked.Options, ofHideReadOnly | ofNoChangeDir | ofPathMustExist | ofFileMustExist);
    EXPECT_FALSE(asked.InitialDir.empty());
    EXPECT_EQ(asked.InitialDir, DesktopFolder());
}

TEST(ModuleFiles, StoredFileNameRestoresTheSpellingOnDisk) {
    TScratch dir("stored");
    std::string file = dir.Write("MixedCase.Dll", "x");
    std::string asked = dir.Dir() + "MIXEDCASE.DLL";
    EXPECT_EQ(StoredFileName(asked), file);
    dir.MakeFolder("SubFolder");
    EXPECT_EQ(StoredFileName(dir.Dir() + "SUBFOLDER"), dir.Dir() + "SUBFOLDER");
    EXPECT_EQ(StoredFileName(dir.Dir() + "missing.dll"), dir.Dir() + "missing.dll");
}

TEST(ModuleFiles, LocalNamesHaveNoUniversalForm) {
    TScratch dir("unc");
    std::string file = dir.Write("a.exe", "x");
    EXPECT_EQ(UniversalFileName(file), file);
    EXPECT_EQ(UniversalFileName(""), "");
}

// The catalogue's getters driving the finder, pointed at a test product key.
class TRedirectedFinder : public TFindOruPathWindows {
  public:
    static inline std::string productKey;
    static inline std::string seenProduct;
    static inline uint8_t answer = 0;
    static inline int asked = 0;

    void FindPaths() override {
        seenProduct = RegistryProductName;
        RegistryProductName = productKey;
        TFindOruPathWindows::FindPaths();
    }
    uint8_t AskInstallation() override {
        ++asked;
        return answer;
    }
};

class CatalogueFinderTest : public ::testing::Test {
  protected:
    TModalRecorder modal; // nothing here may reach a real dialog
    TScratch dir{"getter"};
    TTestProduct product;

    void SetUp() override {
        ResetProductCatalogue();
        TRedirectedFinder::productKey = product.Name();
        TRedirectedFinder::asked = 0;
        SetFindOruPathFactory([] { return std::make_unique<TRedirectedFinder>(); });
        product.Set("ORU_PATH", dir.MakeFolder("main"));
        product.Set("ORU_NETWORK_PATH", dir.MakeFolder("net"));
    }
    void TearDown() override {
        SetFindOruPathFactory(nullptr);
        ResetProductCatalogue();
    }
};

TEST_F(CatalogueFinderTest, SecondCallAsksNothingAndReturnsTheSameFolders) {
    SetProductKind(5);
    TRedirectedFinder::answer = 1;
    std::string data, second, install;
    bool network = false;
    GetInstallationPaths(data, second, network, install);
    EXPECT_EQ(TRedirectedFinder::seenProduct, "ORU Datawright");
    EXPECT_EQ(TRedirectedFinder::asked, 1);
    EXPECT_EQ(install, dir.Dir() + "main\\");
    EXPECT_EQ(second, install + "Data\\");

    // Even with the registry emptied, the cached folder answers.
    product.Set("ORU_PATH", "");
    product.Set("ORU_NETWORK_PATH", "");
    std::string data2, second2, install2;
    GetInstallationPaths(data2, second2, network, install2);
    EXPECT_EQ(TRedirectedFinder::asked, 1);
    EXPECT_EQ(install2, install);
    EXPECT_EQ(data2, data);
    EXPECT_EQ(second2, second);
}

TEST_F(CatalogueFinderTest, SearchThatFoundNothingIsRepeated) {
    SetProductKind(1);
    TRedirectedFinder::answer = 0;
    std::string data, presort, install;
    bool network = false;
    GetInstallationPaths(data, presort, network, install);
    EXPECT_EQ(install, "");
    EXPECT_EQ(TRedirectedFinder::asked, 1);

    TRedirectedFinder::answer = 2;
    GetInstallationPaths(data, presort, network, install);
    EXPECT_EQ(TRedirectedFinder::asked, 2);
    EXPECT_EQ(install, dir.Dir() + "net\\");
    EXPECT_TRUE(network);
    EXPECT_EQ(presort, install + "Presort Tables\\");
}

TEST(WindowsFinderWiring, GettersUseTheWindowsFinder) {
    TModalRecorder modal;
    TScratch dir("wiring");
    TTestProduct codewell("Codewell");
    codewell.Set("ORU_PATH", dir.MakeFolder("cw"));
    ResetProductCatalogue();
    UseWindowsInstallationFinder();
    SetProductKind(4);
    std::string data, second, install;
    bool network = false;
    GetInstallationPaths(data, second, network, install);
    SetFindOruPathFactory(nullptr);
    ResetProductCatalogue();
    EXPECT_EQ(install, dir.Dir() + "cw\\");
    EXPECT_EQ(second, install + "Data\\");
    EXPECT_FALSE(network);
}

} // namespace
} // namespace oru
