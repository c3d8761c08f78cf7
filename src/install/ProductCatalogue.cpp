#include "install/ProductCatalogue.h"

#include "platform/FileUtilsX.h"
#include "platform/SysUtils.h"

#include <atomic>
#include <thread>

namespace oru {

namespace {

// The one process-wide product: the stored byte and the descriptor chosen from it.
enum class PathGetter {
    None,
    ParcelonFamily,
    Stampwise,
    Codewell,
    Datawright,
    Unibrook,
    Batchlib,
    Veranto
};

// A missing answer (nullptr) falls back to the catalogue's default.
struct TProductDescriptor {
    const char* RegistryProductName;
    bool RegistryNameIsModule; // the product key is the running module's own file name
    const char* DisplayName;
    const char* ExecutableName;
    const char* DataFolder;
    const char* HelpStem;
    const char* HelpSuffix;
    PathGetter Getter;
};

// Indexed by kind 1..10.
const TProductDescriptor kDescriptors[10] = {
    {"Parcelon 2010", false, "ORU Parcelon", "parcelon.exe", "Data Files", "Parcelon", "2010",
     PathGetter::ParcelonFamily},
    {"Parcelon 2010", false, "ORU Parcelon LE", "parcelon.exe", "Data Files", "Parcelon", "2010LE",
     PathGetter::ParcelonFamily},
    {"Stampwise", false, "ORU Stampwise", "StampwisePro.exe", "Data", "StampwisePro", "",
     PathGetter::Stampwise},
    {"Codewell", false, "ORU Codewell", "CodewellLib.dll", "Data", "CodewellLib", "",
     PathGetter::Codewell},
    {"ORU Datawright", false, "Datawright Manager", "OruDwr.exe", "Data", "OruDwr", "",
     PathGetter::Datawright},
    {"Parcelon 2010", false, "ORU Parcelon FS", "parcelon.exe", "Data Files", "Parcelon", "FS",
     PathGetter::ParcelonFamily},
    {"Unibrook", false, "Unibrook", "jobrunnertools.dll", "Data Files", "Unibrook", "",
     PathGetter::Unibrook},
    {"Batchlib", false, "Batchlib", nullptr, nullptr, nullptr, nullptr, PathGetter::Batchlib},
    {nullptr, true, "Veranto API Platform", nullptr, nullptr, nullptr, nullptr,
     PathGetter::Veranto},
    {"Parcelon 2010", false, "Sidecar Interface", "parcelon.exe", "Data Files", nullptr, nullptr,
     PathGetter::ParcelonFamily},
};

const char* const kCompanyName = "Oru Software";
const char* const kDefaultDataFolder = "Data";
const char* const kPresortTablesFolder = "Presort Tables\\";

// What a getter remembers between calls. Only the Parcelon family and Unibrook
// remember the presort folder and the install kind.
struct TPathCache {
    std::string InstallPath;
    std::string DataPath;
    std::string PresortPath;
    uint8_t InstallKind = 0;
};

struct CatalogueState {
    TProductKind Kind = 0;
    const TProductDescriptor* Descriptor = nullptr;
    TPathCache ParcelonCache;
    TPathCache StampwiseCache;
    TPathCache CodewellCache;
    TPathCache DatawrightCache;
    TPathCache UnibrookCache;
    std::string CachedTitle;
    std::atomic<bool> TitleCached{false};

    TFindOruPathFactory FinderFactory;
    TTitleProvider TitleProvider;
    TModuleFileNameProvider ModuleFileName;
    std::vector<std::string> CodewellExecutables{"CodewellLib.dll"};
    bool IsLibrary = false;
};

CatalogueState& State() {
    static CatalogueState state;
    return state;
}

// Static initialisation runs on the thread that starts the program.
const std::thread::id kMainThread = std::this_thread::get_id();

std::string RunningModuleFileName() {
    auto& s = State();
    return s.ModuleFileName ? s.ModuleFileName() : ProgramFileName();
}

// The name after the last folder delimiter. Both delimiters count so that the
// native build, whose module names use "/", gives the same answers.
std::string NameWithoutFolder(const std::string& fileName) {
    const auto cut = fileName.find_last_of("\\/:");
    return cut == std::string::npos ? fileName : fileName.substr(cut + 1);
}

std::string NameWithoutExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::unique_ptr<TFindOruPath> MakeFinder() {
    auto& s = State();
    std::unique_ptr<TFindOruPath> finder;
    if (s.FinderFactory)
        finder = s.FinderFactory();
    if (!finder)
        finder = std::make_unique<TFindOruPath>();
    return finder;
}

struct TGetterConfig {
    const char* RegistryProductName;
    std::string DataFolderName;
    std::vector<std::string> ExecutableNames;
    bool WithPresort; // second output is the presort folder, and it is cached with the install kind
};

void RunFinderGetter(TPathCache& cache, const TGetterConfig& config, std::string& dataPath,
                     std::string& secondPath, bool& isNetwork, std::string& installPath) {
    auto finder = MakeFinder();
    finder->InstallPath = cache.InstallPath;
    finder->DataPath = cache.DataPath;
    if (config.WithPresort) {
        finder->PresortPath = cache.PresortPath;
        finder->InstallKind = cache.InstallKind;
    }
    finder->IsNetwork = isNetwork;
    finder->RegistryProductName = config.RegistryProductName;
    finder->DataFolderName = config.DataFolderName;
    finder->ExecutableNames = config.ExecutableNames;

    finder->FindPaths();

    installPath = finder->InstallPath;
    dataPath = finder->DataPath;
    secondPath = config.WithPresort ? finder->PresortPath : finder->DataPath;
    isNetwork = finder->IsNetwork;

    cache.InstallPath = finder->InstallPath;
    cache.DataPath = finder->DataPath;
    if (config.WithPresort) {
        cache.PresortPath = finder->PresortPath;
        cache.InstallKind = finder->InstallKind;
    }
}

} // namespace

TProductKind ProductKindFromNumber(int32_t number) {
    const auto low = static_cast<uint8_t>(static_cast<uint32_t>(number) & 0xFFu);
    switch (low) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
        return low;
    case 8:
        return 6;
    case 9:
        return 8;
    case 10:
        return 9;
    case 11:
        return 10;
    default:
        return 0;
    }
}

void SetProductKind(TProductKind kind) {
    auto& s = State();
    s.Kind = kind;
    const unsigned index = kind & 0x7Fu;
    s.Descriptor = (index >= 1 && index <= 10) ? &kDescriptors[index - 1] : nullptr;
}

TProductKind CurrentProductKind() {
    return State().Kind;
}

std::string CompanyName() {
    return kCompanyName;
}

std::string RegistryProductName() {
    const auto* d = State().Descriptor;
    if (!d)
        return {};
    if (d->RegistryNameIsModule)
        return NameWithoutFolder(RunningModuleFileName());
    return d->RegistryProductName ? d->RegistryProductName : "";
}

std::string ProductDisplayName() {
    auto& s = State();
    if (s.Descriptor && s.Descriptor->DisplayName)
        return s.Descriptor->DisplayName;
    // The application title belongs to the main thread; before it has been read
    // there, other threads fall back to the program's name.
    if (!s.IsLibrary && s.TitleProvider) {
        if (s.TitleCached.load(std::memory_order_acquire))
            return s.CachedTitle;
        if (std::this_thread::get_id() == kMainThread) {
            s.CachedTitle = s.TitleProvider();
            s.TitleCached.store(true, std::memory_order_release);
            return s.CachedTitle;
        }
    }
    return NameWithoutExtension(NameWithoutFolder(RunningModuleFileName()));
}

std::string ProductExecutableName() {
    const auto* d = State().Descriptor;
    return d && d->ExecutableName ? d->ExecutableName : "";
}

std::string DataFolderName() {
    const auto* d = State().Descriptor;
    return std::string(d && d->DataFolder ? d->DataFolder : kDefaultDataFolder) + "\\";
}

std::string HelpFileName() {
    const unsigned index = State().Kind & 0x7Fu;
    if (index < 1 || index > 7)
        return {};
    const auto& d = kDescriptors[index - 1];
    return Format("%s%s.%s", d.HelpStem, d.HelpSuffix ? d.HelpSuffix : "", "hlp");
}

void GetInstallationPaths(std::string& DataPath, std::string& SecondPath, bool& IsNetwork,
                          std::string& InstallPath) {
    auto& s = State();
    const PathGetter getter = s.Descriptor ? s.Descriptor->Getter : PathGetter::None;
    switch (getter) {
    case PathGetter::ParcelonFamily:
        RunFinderGetter(
            s.ParcelonCache,
            {"Parcelon 2010", "Data Files\\", {"parcelon.exe", "parcelonstub.exe"}, true}, DataPath,
            SecondPath, IsNetwork, InstallPath);
        return;
    case PathGetter::Stampwise:
        RunFinderGetter(s.StampwiseCache,
                        {"Stampwise", DataFolderName(), {"StampwisePro.exe"}, false}, DataPath,
                        SecondPath, IsNetwork, InstallPath);
        return;
    case PathGetter::Codewell:
        RunFinderGetter(s.CodewellCache,
                        {"Codewell", DataFolderName(), s.CodewellExecutables, false}, DataPath,
                        SecondPath, IsNetwork, InstallPath);
        return;
    case PathGetter::Datawright:
        RunFinderGetter(s.DatawrightCache,
                        {"ORU Datawright", DataFolderName(), {"OruDwr.exe"}, false}, DataPath,
                        SecondPath, IsNetwork, InstallPath);
        return;
    case PathGetter::Unibrook:
        RunFinderGetter(s.UnibrookCache, {"Unibrook", "Data Files\\", {"jobrunnertools.dll"}, true},
                        DataPath, SecondPath, IsNetwork, InstallPath);
        return;
    case PathGetter::Veranto:
        // A relative folder: the tables lie below wherever the platform runs.
        InstallPath.clear();
        DataPath.clear();
        SecondPath = kPresortTablesFolder;
        IsNetwork = false;
        return;
    case PathGetter::Batchlib:
    case PathGetter::None:
        InstallPath.clear();
        DataPath.clear();
        SecondPath.clear();
        IsNetwork = false;
        return;
    }
}

void SetFindOruPathFactory(TFindOruPathFactory factory) {
    State().FinderFactory = std::move(factory);
}

void SetApplicationTitleProvider(TTitleProvider provider) {
    State().TitleProvider = std::move(provider);
}

void SetCodewellExecutableNames(std::vector<std::string> names) {
    State().CodewellExecutables = std::move(names);
}

void SetModuleFileNameProvider(TModuleFileNameProvider provider) {
    State().ModuleFileName = std::move(provider);
}

void SetRunningAsLibrary(bool isLibrary) {
    State().IsLibrary = isLibrary;
}

void ResetProductCatalogue() {
    auto& s = State();
    s.Kind = 0;
    s.Descriptor = nullptr;
    s.ParcelonCache = {};
    s.StampwiseCache = {};
    s.CodewellCache = {};
    s.DatawrightCache = {};
    s.UnibrookCache = {};
    s.TitleCached.store(false, std::memory_order_release);
    s.CachedTitle.clear();
}

} // namespace oru
