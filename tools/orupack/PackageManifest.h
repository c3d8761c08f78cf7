// The package manifest of "orupack build": a small line-based text that says what
// goes into an update package (see docs/package-format.md). Parsing only checks
// what can be checked without the file system; every refusal names its line.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace oru::pack {

// A manifest the tool cannot honour; the message starts with "line N: " when one
// line is to blame.
class ManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ManifestMember {
    int Line = 0;
    std::string Directive; // the member's extra text, e.g. "<INSTALLDIR>;1"
    std::string Name;      // as stored, "\" separated
    std::string Source;    // as written in the manifest
};

struct ManifestNotice {
    int Line = 0;
    int32_t Target = 100;
    std::vector<std::string> Lines;
};

struct ManifestGroup {
    int Line = 0;
    std::string Definition; // NAME, NAME=FOLDER or NAME=FOLDER=TEXT
};

struct ManifestFile {
    int Line = 0;
    std::string Path;
};

struct PackageManifest {
    std::string Version;
    bool UpdateWanted = false;
    bool PatchWanted = false;
    std::optional<ManifestNotice> Notice;
    std::vector<ManifestMember> Members;
    std::optional<ManifestFile> PatchOld;
    std::optional<ManifestFile> PatchNew;
    std::vector<ManifestGroup> PatchGroups;
    bool PatchWholeFiles = false;
    std::optional<ManifestFile> Engine;
    std::vector<ManifestFile> EngineFiles;
    // Member time as MS-DOS date and time; empty: each source file's own time.
    std::optional<uint32_t> MemberTime;

    bool HasArchive() const { return UpdateWanted || !Members.empty(); }
    bool HasPatch() const { return PatchOld.has_value(); }
};

PackageManifest ParseManifest(const std::string& text);

// The version file's text for the manifest (lines ended by CR LF).
std::string VersionFileText(const PackageManifest& manifest);

// The placeholders the update program knows.
bool KnownPlaceholder(const std::string& placeholder);

} // namespace oru::pack
