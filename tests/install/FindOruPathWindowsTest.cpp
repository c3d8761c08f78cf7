#include <windows.h>

#include "install/FindOruPathWindows.h"
#include "install/ProductCatalogue.h"
#include "platform/PathUtilsX.h"
#include "ui/ModalHook.h"

#include "support/RegistryKey.h"
#include "support/Files.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>

#include <cctype>
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
        test::WriteWholeFile(folder + data + name, "");
    }
    size_t Located() const { return modal.OpenDialogs.size(); }
};

// One case of the rules that decide between the registered folders. Folders are
// named by letter: m main, n network, c client, p the one picked in the locate
// dialog, 0 none. A local installation takes its data and presort folders from
// the registry, a network one keeps them beside it.
struct TRuleCase {
    const char* name;
    char moduleIn;      // which registered folder the test program lies in
    bool main, network; // which registered folders exist
    std::vector<std::pair<char, const char*>> markers;
    bool startNetwork;
    bool asProduct; // the test program is one of the product's executables
    uint8_t answer; // the choose dialog's
    bool pick;      // the locate dialog picks a folder rather than cancelling
    char expect;
    bool expectNetwork;
    int kind, asked, located;
    bool dataGone = false; // the registered data and presort folders are gone
};

// One case per line reads as a table.
// clang-format off
const TRuleCase kRuleCases[] = {
    {"ProgramInNetworkFolder", 'n', true, true, {{'m', "ORUServer"}}, false, false, 0, false, 'n', true, 2, 0, 0},
    {"ProgramInMainFolder", 'm', true, true, {}, true, false, 0, false, 'm', false, 1, 0, 0},
    {"ProgramInServerMainFolder", 'm', true, true, {{'m', "ORUServer"}}, false, false, 0, false, 'm', true, 2, 0, 0},
    {"ServerWinsOverLocal", 0, true, true, {{'n', "ORULocal"}, {'m', "ORUServer"}}, false, false, 0, false, 'm', true, 2, 0, 0},
    {"LocalMarker", 0, true, true, {{'n', "ORULocal"}}, false, false, 0, false, 'n', true, 2, 0, 0},
    {"ClientMarkerMeansNetwork", 0, true, true, {{'c', "ORUClient"}, {'m', "ORUSingle"}}, false, false, 0, false, 'n', true, 2, 0, 0},
    {"OnlyNetworkExists", 0, false, true, {}, false, false, 0, false, 'n', true, 2, 0, 0},
    {"OnlyMainExists", 0, true, false, {}, false, false, 0, false, 'm', false, 1, 0, 0},
    {"OnlyMainExistsKeepsNetworkFlag", 0, true, false, {}, true, false, 0, false, 'm', true, 2, 0, 0},
    {"SingleMarker", 0, true, true, {{'m', "ORUSingle"}}, true, false, 0, false, 'm', true, 2, 0, 0},
    {"BothAskedLocal", 0, true, true, {}, false, false, 1, false, 'm', false, 1, 1, 0},
    {"BothAskedNetwork", 0, true, true, {}, false, false, 2, false, 'n', true, 2, 1, 0},
    {"BothAskedCancelled", 0, true, true, {}, false, false, 0, false, '0', false, 0, 1, 0},
    {"NeitherLocated", 0, false, false, {}, false, false, 0, true, 'p', false, 1, 0, 1},
    {"NeitherLocateCancelled", 0, false, false, {}, false, false, 0, false, '0', false, 0, 0, 1},
    // Running as the product skips the rules (not the Server rule's network flag) and leaves the kind.
    {"RunningAsTheProductFromMain", 0, true, true, {{'m', "ORUServer"}}, false, true, 0, false, 'm', false, 0, 0, 0},
    {"RunningAsTheProductFromNetwork", 'n', true, true, {}, false, true, 0, false, 'n', true, 0, 0, 0},
    // A registered folder that is gone gives way to the one beside the installation.
    {"GoneDataFoldersGiveWay", 0, true, false, {}, false, false, 0, false, 'm', false, 1, 0, 0, true},
};
// clang-format on

class FindOruPathRuleTest : public FindOruPathTest,
                            public ::testing::WithParamInterface<TRuleCase> {};

TEST_P(FindOruPathRuleTest, ChoosesFolderFlagAndKind) {
    const TRuleCase& c = GetParam();
    const std::string picked = dir.MakeFolder("picked"), tables = dir.MakeFolder("tables");
    if (c.moduleIn == 'm')
        mainDir = ModuleFolder();
    if (c.moduleIn == 'n')
        networkDir = ModuleFolder();
    Register(c.main ? mainDir : dir.Dir() + "gone\\", c.network ? networkDir : dir.Dir() + "gone2\\");
    product.Set("ORU_Presort_Path", c.dataGone ? dir.Dir() + "no-tables\\" : tables);
    if (c.dataGone)
        product.Set("ORU_DATA_PATH", dir.Dir() + "no-data\\");
    for (auto [where, name] : c.markers)
        Marker(where == 'm' ? mainDir : where == 'n' ? networkDir : clientDir, name);
    if (c.pick)
        modal.OnOpenDialog = [&](TOpenDialog& dialog) {
            dialog.FileName = picked + "parcelon.exe";
            return true;
        };

    TScriptedFinder finder;
    Prepare(finder);
    if (c.asProduct) {
        std::string self = std::filesystem::path(ModuleFileName()).filename().string();
        for (auto& ch : self) // the names compare in any case
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        finder.ExecutableNames = {"other.exe", self};
    }
    finder.askAnswer = c.answer;
    finder.IsNetwork = c.startNetwork;
    finder.DataPath = "seed-data\\";
    finder.PresortPath = "seed-presort\\";
    finder.FindPaths();

    EXPECT_EQ(finder.asked, c.asked);
    ASSERT_EQ(Located(), static_cast<size_t>(c.located));
    if (c.located) { // it asks for the product's executable, starting on the desktop
        EXPECT_EQ(modal.OpenDialogs[0].Title, "Locate parcelon.exe");
        EXPECT_EQ(modal.OpenDialogs[0].Filter, "parcelon.exe program|parcelon.exe");
        EXPECT_EQ(modal.OpenDialogs[0].InitialDir, DesktopFolder());
        EXPECT_NE(DesktopFolder(), "");
    }
    EXPECT_EQ(finder.InstallKind, c.kind);
    if (c.expect == '0') {
        // Nothing found: the seeds come back.
        EXPECT_EQ(finder.InstallPath, "");
        EXPECT_EQ(finder.DataPath, "seed-data\\");
        EXPECT_EQ(finder.PresortPath, "seed-presort\\");
        return;
    }
    const std::string install = c.expect == 'm' ? mainDir : c.expect == 'n' ? networkDir : picked;
    EXPECT_EQ(finder.InstallPath, install);
    EXPECT_EQ(finder.IsNetwork, c.expectNetwork);
    const bool beside = c.expectNetwork || c.dataGone;
    EXPECT_EQ(finder.DataPath, beside ? install + data : dataDir);
    EXPECT_EQ(finder.PresortPath, beside ? install + "Presort Tables\\" : tables);
}

INSTANTIATE_TEST_SUITE_P(Rules, FindOruPathRuleTest, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A seed is used without a look at the registry: an existing folder only fills
// the empty paths (with the catalogue's data folder), one that is gone comes back
// as it was.
TEST_F(FindOruPathTest, ASeededFolderTakesTheShortPath) {
    TScriptedFinder seeded;
    Prepare(seeded);
    seeded.InstallPath = mainDir;
    seeded.PresortPath = "kept\\";
    seeded.InstallKind = 2;
    SetProductKind(3); // Stampwise: the catalogue answers "Data\"
    seeded.FindPaths();
    EXPECT_EQ(seeded.DataPath, mainDir + "Data\\");
    EXPECT_EQ(seeded.PresortPath, "kept\\");
    EXPECT_TRUE(seeded.IsNetwork);
    EXPECT_EQ(seeded.InstallKind, 2);

    TScriptedFinder gone;
    Prepare(gone);
    gone.InstallPath = dir.Dir() + "removed\\";
    gone.InstallKind = 1;
    gone.IsNetwork = true;
    gone.FindPaths();
    EXPECT_EQ(gone.InstallPath, dir.Dir() + "removed\\");
    EXPECT_EQ(gone.DataPath, "");
    EXPECT_FALSE(gone.IsNetwork);
    EXPECT_FALSE(product.KeyExists()); // reading would have created the product's key
}

// Which values count as strings is the settings store's rule.
TEST(ReadPathsValue, CreatesTheMissingKey) {
    TTestProduct product;
    EXPECT_EQ(ReadPathsValue(product.Name(), "ORU_PATH"), "");
    EXPECT_TRUE(product.KeyExists("\\Paths"));
    product.Set("ORU_PATH", "C:\\Apps\\");
    EXPECT_EQ(ReadPathsValue(product.Name(), "ORU_PATH"), "C:\\Apps\\");
}

TEST(ModuleFiles, StoredFileNameRestoresTheSpellingOnDisk) {
    TScratch dir("stored");
    const std::string file = dir.Write("MixedCase.Dll", "x");
    EXPECT_EQ(StoredFileName(dir.Dir() + "MIXEDCASE.DLL"), file);
    dir.MakeFolder("SubFolder");
    EXPECT_EQ(StoredFileName(dir.Dir() + "SUBFOLDER"), dir.Dir() + "SUBFOLDER");
    EXPECT_EQ(StoredFileName(dir.Dir() + "missing.dll"), dir.Dir() + "missing.dll");
}

} // namespace
} // namespace oru
