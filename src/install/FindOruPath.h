// The installation finder's base: the fields a product getter seeds and reads
// back, and the two overridable steps. The base finds nothing and, asked to
// choose, answers "local"; the Windows finder overrides both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oru {

class TFindOruPath {
  public:
    TFindOruPath();
    virtual ~TFindOruPath();

    // Inputs (cached values or empty) and results.
    std::string InstallPath;
    std::string DataPath;
    std::string PresortPath;
    bool IsNetwork = false;
    uint8_t InstallKind = 0; // 0 not yet known, 1 local, 2 network
    // Configuration set by the getter before FindPaths runs. These members hide
    // the catalogue's functions of the same names inside the class: call those
    // as oru::DataFolderName() and oru::RegistryProductName().
    std::string RegistryProductName;
    std::string DataFolderName;               // with trailing delimiter
    std::vector<std::string> ExecutableNames; // file names only, no folder

    // 0 none, 1 local, 2 network.
    virtual uint8_t AskInstallation();
    virtual void FindPaths();
};

} // namespace oru
