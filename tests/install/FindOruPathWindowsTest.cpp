#include <windows.h>

#include "install/ChooseInstallation.h"
#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "platform/PathUtilsX.h"
#include "ui/ModalHook.h"

#include "RegistryProduct.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

namespace oru {
namespace {

using test::TTempFolder;
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

std::string ModuleFolder() { return ExtractFilePath(ModuleFileName(), true); }
std::string ModuleName() { return std::filesystem::path(ModuleFileName()).filename().string(); }

class FindOruPathTest : public ::testing::Test {
protected:
    TTempFolder dir{"finder"};
    TTestProduct product;
    TModalRecorder modal; // the locate dialog answers cancel unless a test says otherwise
    TScriptedFinder finder;
    std::string mainDir, networkDir, clientDir;

    void SetUp() override {
        ResetProductCatalogue();
        SetProductKind(1);
        finder.RegistryProductName = product.Name();
        finder.DataFolderName = "Data Files\\";
        finder.ExecutableNames = {"parcelon.exe", "parcelonstub.exe"};
        mainDir = dir.MakeFolder("main");
        networkDir = dir.MakeFolder("net");
        clientDir = dir.MakeFolder("client");
    }
    void TearDown() override { ResetProductCatalogue(); }
    size_t Located() const { return modal.OpenDialogs.size(); }
    void Register(bool withMain = true, bool withNetwork = true) {
        product.Set("ORU_PATH", withMain ? mainDir : dir.Folder() + "gone\\");
        product.Set("ORU_NETWORK_PATH", withNetwork ? networkDir : dir.Folder() + "gone-too\\");
        product.Set("ORU_CLIENT_PATH", clientDir);
    }
    void Marker(const std::string& folder, const std::string& name) {
        std::string sub = folder.substr(dir.Folder().size());
        dir.Write(sub + "Data Files\\" + name, "");
    }
    void ExpectResult(const std::string& install, bool network, uint8_t kind) {
        EXPECT_EQ(finder.InstallPath, install);
        EXPECT_EQ(finder.IsNetwork, network);
        EXPECT_EQ(finder.InstallKind, kind);
        if (!install.empty()) {
            EXPECT_EQ(finder.DataPath, install + "Data Files\\");
            EXPECT_EQ(finder.PresortPath, install + "Presort Tables\\");
        }
    }
};

TEST_F(FindOruPathTest, ProgramInNetworkFolderTakesItWithoutAsking) {
    Register();
    Marker(mainDir, "ORUServer");
    product.Set("ORU_NETWORK_PATH", ModuleFolder());
    finder.FindPaths();
    ExpectResult(ModuleFolder(), true, 2);
    EXPECT_EQ(finder.asked, 0);
    EXPECT_EQ(Located(), 0u);
}

TEST_F(FindOruPathTest, ProgramInMainFolderIsNetworkOnlyWithServerMarker) {
    Register();
    // The module folder is the test program's; its marker lives in a data
    // sub-folder of its own, removed again at the end.
    std::string data = "Data-" + std::to_string(std::random_device{}()) + "\\";
    finder.DataFolderName = data;
    product.Set("ORU_PATH", ModuleFolder());
    finder.IsNetwork = true;
    finder.FindPaths();
    EXPECT_EQ(finder.InstallPath, ModuleFolder());
    EXPECT_FALSE(finder.IsNetwork);
    EXPECT_EQ(finder.InstallKind, 1);

    std::filesystem::path markerDir = std::filesystem::path(ModuleFolder()) / data;
    std::filesystem::create_directories(markerDir);
    std::ofstream(markerDir / "ORUServer").close();
    TScriptedFinder second;
    second.RegistryProductName = product.Name();
    second.DataFolderName = data;
    second.FindPaths();
    std::filesystem::remove_all(markerDir);
    EXPECT_EQ(second.InstallPath, ModuleFolder());
    EXPECT_TRUE(second.IsNetwork);
    EXPECT_EQ(second.InstallKind, 2);
    EXPECT_EQ(second.DataPath, ModuleFolder() + data);
}

TEST_F(FindOruPathTest, ServerMarkerWinsOverLocalMarker) {
    Register();
    Marker(mainDir, "ORUServer");
    Marker(networkDir, "ORULocal");
    finder.FindPaths();
    ExpectResult(mainDir, true, 2);
    EXPECT_EQ(finder.asked, 0);
}

TEST_F(FindOruPathTest, LocalMarkerChoosesNetworkFolder) {
    Register();
    Marker(networkDir, "ORULocal");
    finder.FindPaths();
    ExpectResult(networkDir, true, 2);
}

TEST_F(FindOruPathTest, ClientMarkerChoosesNetworkFolderNotClientFolder) {
    Register();
    Marker(clientDir, "ORUClient");
    Marker(mainDir, "ORUSingle"); // the client marker comes first
    finder.FindPaths();
    ExpectResult(networkDir, true, 2);
}

TEST_F(FindOruPathTest, MarkersUnderMissingFoldersDoNotCount) {
    // A marker file in a folder the registry does not name changes nothing.
    Register(true, false);
    Marker(networkDir, "ORULocal");
    finder.FindPaths();
    ExpectResult(mainDir, false, 1);
}

TEST_F(FindOruPathTest, OnlyNetworkFolderExists) {
    Register(false, true);
    finder.FindPaths();
    ExpectResult(networkDir, true, 2);
    EXPECT_EQ(finder.asked, 0);
    EXPECT_EQ(Located(), 0u);
}

TEST_F(FindOruPathTest, OnlyMainFolderExistsKeepsCallersNetworkFlag) {
    Register(true, false);
    finder.FindPaths();
    ExpectResult(mainDir, false, 1);

    TScriptedFinder network;
    network.RegistryProductName = product.Name();
    network.DataFolderName = "Data Files\\";
    network.IsNetwork = true;
    network.FindPaths();
    EXPECT_EQ(network.InstallPath, mainDir);
    EXPECT_TRUE(network.IsNetwork);
    EXPECT_EQ(network.InstallKind, 2);
}

TEST_F(FindOruPathTest, SingleMarkerSettlesBothFolders) {
    Register();
    Marker(mainDir, "ORUSingle");
    finder.FindPaths();
    ExpectResult(mainDir, false, 1);
    EXPECT_EQ(finder.asked, 0);
}

TEST_F(FindOruPathTest, BothFoldersAskTheUser) {
    Register();
    std::string otherData = dir.MakeFolder("elsewhere");
    product.Set("ORU_DATA_PATH", otherData);

    finder.askAnswer = 2;
    finder.FindPaths();
    EXPECT_EQ(finder.asked, 1);
    // A network installation keeps its data beside it, whatever ORU_DATA_PATH says.
    ExpectResult(networkDir, true, 2);

    TScriptedFinder local;
    local.RegistryProductName = product.Name();
    local.DataFolderName = "Data Files\\";
    local.askAnswer = 1;
    local.FindPaths();
    EXPECT_EQ(local.asked, 1);
    EXPECT_EQ(local.InstallPath, mainDir);
    EXPECT_FALSE(local.IsNetwork);
    EXPECT_EQ(local.InstallKind, 1);
    EXPECT_EQ(local.DataPath, otherData);
}

TEST_F(FindOruPathTest, TheChoiceComesFromTheChooseDialog) {
    Register();
    std::vector<int> preselected;
    modal.OnShowModal = [&](TForm& form) {
        auto& dialog = static_cast<TfrmChooseExe&>(form);
        preselected.push_back(dialog.rgChooseExe->ItemIndex());
        dialog.rgChooseExe->ClickItem(1);
        dialog.btnOK->Click();
        return dialog.ModalResult();
    };
    TFindOruPathWindows real;
    real.RegistryProductName = product.Name();
    real.DataFolderName = "Data Files\\";
    real.FindPaths();
    EXPECT_EQ(modal.ModalForms, std::vector<std::string>{"ORU Parcelon"});
    EXPECT_EQ(preselected, std::vector<int>{-1});
    EXPECT_EQ(real.InstallPath, networkDir);
    EXPECT_TRUE(real.IsNetwork);
    EXPECT_EQ(real.InstallKind, 2);

    modal.OnShowModal = nullptr; // closed without a choice
    TFindOruPathWindows cancelled;
    cancelled.RegistryProductName = product.Name();
    cancelled.DataFolderName = "Data Files\\";
    cancelled.FindPaths();
    EXPECT_EQ(modal.ModalForms.size(), 2u);
    EXPECT_EQ(cancelled.InstallPath, "");
    EXPECT_EQ(cancelled.InstallKind, 0);
}

TEST_F(FindOruPathTest, CancelledChoiceFindsNothingAndKeepsSeeds) {
    Register();
    finder.DataPath = "seed-data\\";
    finder.PresortPath = "seed-presort\\";
    finder.askAnswer = 0;
    finder.FindPaths();
    EXPECT_EQ(finder.asked, 1);
    EXPECT_EQ(finder.InstallPath, "");
    EXPECT_EQ(finder.InstallKind, 0);
    EXPECT_EQ(finder.DataPath, "seed-data\\");
    EXPECT_EQ(finder.PresortPath, "seed-presort\\");
}

TEST_F(FindOruPathTest, NeitherFolderLocatesTheProgram) {
    Register(false, false);
    std::string located = dir.MakeFolder("picked");
    modal.OnOpenDialog = [&](TOpenDialog& dialog) {
        dialog.FileName = located + "parcelon.exe";
        return true;
    };
    finder.FindPaths();
    EXPECT_EQ(Located(), 1u);
    EXPECT_EQ(finder.asked, 0);
    ExpectResult(located, false, 1);

    TScriptedFinder cancelled;
    cancelled.RegistryProductName = product.Name();
    cancelled.DataFolderName = "Data Files\\";
    cancelled.DataPath = "seed\\";
    modal.OnOpenDialog = nullptr;
    cancelled.FindPaths();
    EXPECT_EQ(Located(), 2u);
    EXPECT_EQ(cancelled.InstallPath, "");
    EXPECT_EQ(cancelled.DataPath, "seed\\");
    EXPECT_EQ(cancelled.InstallKind, 0);
}

TEST_F(FindOruPathTest, NothingRegisteredLocatesTheProgram) {
    finder.FindPaths();
    EXPECT_EQ(Located(), 1u);
    EXPECT_EQ(finder.InstallPath, "");
}

TEST_F(FindOruPathTest, RunningAsTheProductSkipsTheRulesAndLeavesTheKind) {
    Register();
    Marker(mainDir, "ORUServer");
    finder.ExecutableNames = {"other.exe", ModuleName()};
    for (auto& c : finder.ExecutableNames.back())
        c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
    finder.FindPaths();
    EXPECT_EQ(finder.InstallPath, mainDir); // not the Server rule's network flag
    EXPECT_FALSE(finder.IsNetwork);
    EXPECT_EQ(finder.InstallKind, 0);
    EXPECT_EQ(finder.DataPath, mainDir + "Data Files\\");

    product.Set("ORU_NETWORK_PATH", ModuleFolder());
    TScriptedFinder fromNetwork;
    fromNetwork.RegistryProductName = product.Name();
    fromNetwork.DataFolderName = "Data Files\\";
    fromNetwork.ExecutableNames = finder.ExecutableNames;
    fromNetwork.FindPaths();
    EXPECT_EQ(fromNetwork.InstallPath, ModuleFolder());
    EXPECT_TRUE(fromNetwork.IsNetwork);
    EXPECT_EQ(fromNetwork.InstallKind, 0);
    EXPECT_EQ(fromNetwork.asked, 0);
    EXPECT_EQ(Located(), 0u);
}

TEST_F(FindOruPathTest, LocalInstallationUsesRegisteredDataAndPresortFolders) {
    Register(true, false);
    std::string data = dir.MakeFolder("data");
    std::string presort = dir.MakeFolder("tables");
    product.Set("ORU_DATA_PATH", data.substr(0, data.size() - 1)); // stored without delimiter
    product.Set("ORU_Presort_Path", presort);
    finder.FindPaths();
    EXPECT_EQ(finder.DataPath, data);
    EXPECT_EQ(finder.PresortPath, presort);
}

TEST_F(FindOruPathTest, LocalInstallationFallsBackWhenRegisteredFoldersAreMissing) {
    Register(true, false);
    product.Set("ORU_DATA_PATH", dir.Folder() + "no-data\\");
    product.Set("ORU_Presort_Path", dir.Folder() + "no-tables\\");
    finder.FindPaths();
    ExpectResult(mainDir, false, 1);
}

TEST_F(FindOruPathTest, SeededFolderTakesTheShortPath) {
    Register(false, true); // would give the network folder if it were read
    finder.InstallPath = mainDir;
    finder.PresortPath = "kept\\";
    finder.InstallKind = 2;
    finder.FindPaths();
    EXPECT_EQ(finder.InstallPath, mainDir);
    EXPECT_EQ(finder.DataPath, mainDir + "Data Files\\");
    EXPECT_EQ(finder.PresortPath, "kept\\");
    EXPECT_TRUE(finder.IsNetwork);
    EXPECT_EQ(finder.InstallKind, 2);
}

TEST_F(FindOruPathTest, SeededFolderThatIsGoneComesBackUnchangedWithoutRegistryRead) {
    finder.InstallPath = dir.Folder() + "removed\\";
    finder.InstallKind = 1;
    finder.IsNetwork = true;
    finder.FindPaths();
    EXPECT_EQ(finder.InstallPath, dir.Folder() + "removed\\");
    EXPECT_EQ(finder.DataPath, "");
    EXPECT_EQ(finder.PresortPath, "");
    EXPECT_FALSE(finder.IsNetwork);
    EXPECT_EQ(finder.InstallKind, 1);
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
    TTempFolder dir("locate");
    std::string file = dir.Write("StampwisePro.exe", "");
    TModalRecorder modal;
    modal.OnOpenDialog = [&](TOpenDialog& dialog) {
        dialog.FileName = file;
        return true;
    };
    EXPECT_EQ(LocateProgram(), dir.Folder());
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
    TTempFolder dir("stored");
    std::string file = dir.Write("MixedCase.Dll", "x");
    std::string asked = dir.Folder() + "MIXEDCASE.DLL";
    EXPECT_EQ(StoredFileName(asked), file);
    dir.MakeFolder("SubFolder");
    EXPECT_EQ(StoredFileName(dir.Folder() + "SUBFOLDER"), dir.Folder() + "SUBFOLDER");
    EXPECT_EQ(StoredFileName(dir.Folder() + "missing.dll"), dir.Folder() + "missing.dll");
}

TEST(ModuleFiles, LocalNamesHaveNoUniversalForm) {
    TTempFolder dir("unc");
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
    TTempFolder dir{"getter"};
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
    EXPECT_EQ(install, dir.Folder() + "main\\");
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
    EXPECT_EQ(install, dir.Folder() + "net\\");
    EXPECT_TRUE(network);
    EXPECT_EQ(presort, install + "Presort Tables\\");
}

TEST(WindowsFinderWiring, GettersUseTheWindowsFinder) {
    TModalRecorder modal;
    TTempFolder dir("wiring");
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
    EXPECT_EQ(install, dir.Folder() + "cw\\");
    EXPECT_EQ(second, install + "Data\\");
    EXPECT_FALSE(network);
}

} // namespace
} // namespace oru
