// The product catalogue: one process-wide current product, chosen once from the
// command line's product number, that answers every product-specific question
// (registry names, display name, executable, data sub-folder, help file, and the
// installation folders through the installation finder).
#pragma once

#include "install/FindOruPath.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oru {

// 0 none; 1 Parcelon 2010, 2 Parcelon LE, 3 Stampwise, 4 Codewell, 5 Datawright
// Manager, 6 Parcelon FS, 7 Unibrook, 8 Batchlib, 9 Veranto, 10 Sidecar Interface.
using TProductKind = uint8_t;

// External product number (low 8 bits only) to product kind; unknown numbers give 0.
TProductKind ProductKindFromNumber(int32_t number);
// Stores the byte unchanged; the answers come from the kind's low seven bits.
void SetProductKind(TProductKind kind);
TProductKind CurrentProductKind();

std::string CompanyName();
std::string RegistryProductName();
std::string ProductDisplayName();
std::string ProductExecutableName(); // file name only; empty when the kind has none
std::string DataFolderName();        // always with a trailing delimiter
std::string HelpFileName();          // e.g. "Parcelon2010.hlp"; empty for kinds 0, 8-10

// Runs the current product's folder getter. IsNetwork is the finder's starting
// value on entry and its result on return. SecondPath is the presort tables
// folder for the Parcelon family and Unibrook, the data folder for the others.
void GetInstallationPaths(std::string& DataPath, std::string& SecondPath, bool& IsNetwork,
                          std::string& InstallPath);

// ---- Wiring set up by the program's entry (and by tests) ----

// Makes the finder each folder getter drives. Null restores the default, the base
// TFindOruPath, which finds nothing.
using TFindOruPathFactory = std::function<std::unique_ptr<TFindOruPath>()>;
void SetFindOruPathFactory(TFindOruPathFactory factory);

// The application title, the display name when no product is selected. Null (the
// default) means no title is known and the program file's name is used.
using TTitleProvider = std::function<std::string()>;
void SetApplicationTitleProvider(TTitleProvider provider);

// The executable names the Codewell getter hands to the finder. The finder uses
// them only to tell whether the program runs as the product itself.
void SetCodewellExecutableNames(std::vector<std::string> names);

// The full file name of the running module. Null (the default) asks the platform
// for the program file.
using TModuleFileNameProvider = std::function<std::string()>;
void SetModuleFileNameProvider(TModuleFileNameProvider provider);

// Whether the running module is a library rather than the program itself; a
// library never shows the application title as its display name.
void SetRunningAsLibrary(bool isLibrary);

// Program end (and test isolation): no product, every cache and the cached title
// cleared. The wiring above is left as it is.
void ResetProductCatalogue();

} // namespace oru
