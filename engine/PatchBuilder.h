// Making a patch file from an old and a new tree of files.
//
// Groups map folders of the trees to named groups: each file belongs to the group
// whose folder is the longest that contains it, and its path in the patch is
// relative to that folder. Without groups, one group "MAIN" holds the whole tree.
#pragma once

#include "engine/PatchFilesX.h"
#include "engine/PatchFormat.h"

#include <functional>
#include <string>
#include <vector>

namespace oru::patch {

struct TGroupDefinition {
    std::string Name;
    std::string Folder; // relative, "\" separated; empty = the tree's root
    std::string Text;
};

// "NAME", "NAME=FOLDER" or "NAME=FOLDER=TEXT"; FOLDER "." or empty is the root,
// "/" and "\" both separate. Throws EPatchFormatError.
TGroupDefinition ParseGroupDefinition(const std::string& definition);

struct TBuildOptions {
    std::vector<TGroupDefinition> Groups;
    bool AllowDelta = true; // otherwise whole files only
    // Which deltas are tried; a changed file gets the smallest of them and the whole file.
    bool TryVcdiff = true;
    bool TryDifference = true;
    std::function<void(const std::string&)> Log; // one line per file
    // While a long file is being matched: its path, the method, bytes done of total.
    std::function<void(const std::string&, const char*, uint64_t, uint64_t)> Progress;
};

struct TBuildStats {
    size_t Patched = 0, Added = 0, Deleted = 0, Unchanged = 0, Deltas = 0, Differences = 0;
    uint64_t PatchSize = 0;
};

// The largest old file the difference delta is tried on: its matcher holds both
// files and four bytes per old byte in memory.
uint64_t MaxDifferenceSource();

// Writes outFile (replacing it only when the build succeeds).
TBuildStats BuildPatch(TPatchFiles& files, const std::string& oldDir, const std::string& newDir,
                       const std::string& outFile, const TBuildOptions& options);

} // namespace oru::patch
