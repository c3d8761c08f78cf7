// The package's version file "ORU.VER": what the package brings, which payloads
// are to be applied, and an optional notice addressed to some products.
#pragma once

#include <string>

namespace oru {

class TStream;

struct TVersionFileInfo {
    std::string Version;
    bool UpdateWanted = false;
    bool PatchWanted = false;
    // A payload that is wanted but absent, or the file could not be read.
    bool UpdateArchiveMissing = false;
    bool PatchArchiveMissing = false;
    std::string ExtraMessage;
};

struct TVersionFileContext {
    bool IsLEEdition = false;
    bool UpdateArchiveExists = false;
    bool PatchArchiveExists = false;
};

// Reads the file. Any failure (cannot open or read, a target or count line that
// is not an integer) yields the unreadable state: Version and ExtraMessage empty,
// both archives missing, the wanted flags as far as they were read. Never raises.
TVersionFileInfo ReadVersionFile(const std::string& fileName, const TVersionFileContext& context);
TVersionFileInfo ReadVersionFile(TStream& stream, const TVersionFileContext& context);

} // namespace oru
