// Pairs the files of both trees by name (ignoring case, as Windows does), and for
// each changed file keeps the smallest of a VCDIFF delta, a difference delta and
// the whole new file, each compressed.
#include "engine/PatchBuilder.h"

#include "engine/BsDelta.h"
#include "engine/DeflateStreams.h"
#include "engine/PatchDelta.h"
#include "engine/PatchWriter.h"

#include <algorithm>
#include <map>

namespace oru::patch {

namespace {

struct TSide {
    std::string Path; // relative to the tree, as found on disk
    uint64_t Size = 0;
    TSha256Digest Hash{};
};

std::string Slashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

TSha256Digest HashStream(TStream& in) {
    TSha256 sha;
    std::vector<uint8_t> buffer(256 * 1024);
    for (;;) {
        int32_t n = in.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0)
            break;
        sha.Update(buffer.data(), static_cast<size_t>(n));
    }
    return sha.Final();
}

std::map<std::string, TSide> Scan(TPatchFiles& files, const std::string& root) {
    TFileState state = files.Query(root);
    if (!state.Exists || !state.IsFolder)
        throw EPatchFileError("The folder '" + root + "' does not exist");
    std::map<std::string, TSide> out;
    for (const std::string& path : files.ListFiles(root)) {
        if (!IsSafeRelativePath(path, false))
            throw EPatchFormatError("The file name '" + path + "' cannot be used on Windows");
        TSide side;
        side.Path = path;
        auto in = files.OpenRead(files.Join(root, path));
        side.Size = static_cast<uint64_t>(in->GetSize());
        side.Hash = HashStream(*in);
        if (!out.emplace(PathKey(path), side).second)
            throw EPatchFormatError("'" + path + "' differs from another file only in case");
    }
    return out;
}

// The group whose folder is the longest prefix of path; -1 when none contains it.
int GroupOf(const std::vector<TGroupDefinition>& groups, const std::string& key,
            std::string& rest) {
    int best = -1;
    size_t bestLength = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        std::string folder = PathKey(groups[i].Folder);
        bool contains = folder.empty() ||
                        (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
                         key[folder.size()] == '\\');
        if (contains && (best < 0 || folder.size() > bestLength)) {
            best = static_cast<int>(i);
            bestLength = folder.size();
        }
    }
    rest = best < 0 ? std::string() : std::string(bestLength ? key.substr(bestLength + 1) : key);
    return best;
}

uint64_t DeflatedSize(TStream& in) {
    TCountingSink counter;
    TDeflateWriter measure(counter);
    std::vector<uint8_t> buffer(256 * 1024);
    for (;;) {
        int32_t n = in.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0)
            break;
        measure.WriteBuffer(buffer.data(), n);
    }
    measure.Finish();
    return measure.BytesOut();
}

std::vector<uint8_t> ReadAll(TStream& in) {
    std::vector<uint8_t> bytes(static_cast<size_t>(in.GetSize()));
    for (size_t at = 0; at < bytes.size();) {
        int32_t chunk = static_cast<int32_t>(std::min<size_t>(bytes.size() - at, 1 << 24));
        in.ReadBuffer(bytes.data() + at, chunk);
        at += static_cast<size_t>(chunk);
    }
    return bytes;
}

// Files below this size are matched without progress reports.
constexpr uint64_t kLongFile = 16u << 20;

// The delta that is written so far, and the sizes of the others, for the log.
struct TCandidates {
    TPatchMethod Method = TPatchMethod::None;
    TPayloadPlace Place;
    TBsTransform Transform = TBsTransform::None;
    uint64_t Vcdiff = 0, Difference = 0, Whole = 0; // 0 = not tried
};

std::string Summary(const TCandidates& c) {
    std::string s = c.Method == TPatchMethod::Whole     ? "whole file"
                    : c.Method == TPatchMethod::Delta   ? "VCDIFF delta"
                    : c.Transform == TBsTransform::None ? "difference delta"
                                                        : "difference delta, x86 branches";
    s += ", " + std::to_string(c.Place.Size) + " bytes";
    std::string others;
    auto add = [&](const char* name, uint64_t size, TPatchMethod method) {
        if (size && method != c.Method)
            others += std::string(others.empty() ? "; " : ", ") + name + " " + std::to_string(size);
    };
    add("VCDIFF", c.Vcdiff, TPatchMethod::Delta);
    add("difference", c.Difference, TPatchMethod::BsDelta);
    add("whole", c.Whole, TPatchMethod::Whole);
    return s + others;
}

// Writes the smaller of the deltas that apply to this pair into the patch.
TCandidates TryDeltas(TPatchFiles& files, TPatchWriter& writer, const std::string& building,
                      const std::string& oldPath, const std::string& newPath,
                      const std::string& shown, const TBuildOptions& options) {
    TCandidates c;
    auto oldIn = files.OpenRead(oldPath);
    auto newIn = files.OpenRead(newPath);
    const uint64_t newSize = static_cast<uint64_t>(newIn->GetSize());
    const bool longFile = options.Progress && newSize >= kLongFile;
    if (options.TryVcdiff) {
        if (longFile)
            options.Progress(shown, "VCDIFF", 0, newSize);
        // The delta goes through a temporary file: the codec writes it in one pass,
        // the deflater reads it in another.
        const std::string deltaName = building + ".delta";
        if (files.Query(deltaName).Exists)
            files.Remove(deltaName);
        try {
            {
                auto delta = files.CreateNew(deltaName);
                MakeDelta(*oldIn, *newIn, *delta);
                delta->SetPosition(0);
                c.Place = writer.WriteDeflated(*delta);
            }
            files.Remove(deltaName);
        } catch (...) {
            if (files.Query(deltaName).Exists)
                files.Remove(deltaName);
            throw;
        }
        c.Method = TPatchMethod::Delta;
        c.Vcdiff = c.Place.Size;
        if (longFile)
            options.Progress(shown, "VCDIFF", newSize, newSize);
    }
    if (options.TryDifference && static_cast<uint64_t>(oldIn->GetSize()) <= MaxDifferenceSource()) {
        oldIn->SetPosition(0);
        newIn->SetPosition(0);
        std::vector<uint8_t> oldData = ReadAll(*oldIn), newData = ReadAll(*newIn);
        TBsDeltaOptions bo;
        if (longFile)
            bo.Progress = [&](TBsTransform transform, uint64_t done, uint64_t total) {
                options.Progress(shown,
                                 transform == TBsTransform::None ? "difference"
                                                                 : "difference, x86 branches",
                                 done, total);
            };
        TBsDeltaResult d = MakeBsDelta(oldData, newData, bo);
        c.Difference = d.Payload.size();
        if (c.Method == TPatchMethod::None || d.Payload.size() < c.Place.Size) {
            if (c.Method != TPatchMethod::None)
                writer.DiscardFrom(c.Place.Offset);
            c.Place = writer.WriteStored(d.Payload);
            c.Place.RawSize = d.RawSize;
            c.Method = TPatchMethod::BsDelta;
            c.Transform = d.Transform;
        }
    }
    return c;
}

} // namespace

uint64_t MaxDifferenceSource() {
    // A 32-bit process runs out of address space long before a 64-bit one.
    return sizeof(void*) >= 8 ? uint64_t(1) << 30 : uint64_t(96) << 20;
}

TGroupDefinition ParseGroupDefinition(const std::string& definition) {
    TGroupDefinition g;
    size_t eq = definition.find('=');
    g.Name = definition.substr(0, eq);
    if (eq != std::string::npos) {
        size_t eq2 = definition.find('=', eq + 1);
        g.Folder = Slashes(
            definition.substr(eq + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq - 1));
        if (eq2 != std::string::npos)
            g.Text = definition.substr(eq2 + 1);
    }
    if (g.Folder == ".")
        g.Folder.clear();
    if (g.Name.empty() || g.Name.find_first_of("\r\n\t") != std::string::npos)
        throw EPatchFormatError("A group needs a name: '" + definition + "'");
    if (!IsSafeRelativePath(g.Folder, true))
        throw EPatchFormatError("The folder of group '" + g.Name +
                                "' must be a relative folder inside the tree");
    return g;
}

TBuildStats BuildPatch(TPatchFiles& files, const std::string& oldDir, const std::string& newDir,
                       const std::string& outFile, const TBuildOptions& options) {
    std::vector<TGroupDefinition> groups = options.Groups;
    if (groups.empty())
        groups.push_back({"MAIN", "", ""});
    for (size_t i = 0; i < groups.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (PathKey(groups[i].Folder) == PathKey(groups[j].Folder))
                throw EPatchFormatError("Groups '" + groups[j].Name + "' and '" + groups[i].Name +
                                        "' have the same folder");

    const auto oldFiles = Scan(files, oldDir);
    const auto newFiles = Scan(files, newDir);
    std::map<std::string, std::pair<const TSide*, const TSide*>> all;
    for (const auto& [key, side] : oldFiles)
        all[key].first = &side;
    for (const auto& [key, side] : newFiles)
        all[key].second = &side;

    // Build beside the output and move into place only at the end.
    const std::string building = outFile + ".~oru-build";
    if (files.Query(building).Exists)
        files.Remove(building);
    TBuildStats stats;
    try {
        auto out = files.CreateNew(building);
        TPatchWriter writer(*out);
        for (const auto& g : groups)
            writer.AddGroup({g.Name, g.Text, g.Folder});

        std::vector<TPatchEntry> entries;
        for (const auto& [key, pair] : all) {
            const TSide* oldSide = pair.first;
            const TSide* newSide = pair.second;
            const std::string& shown = newSide ? newSide->Path : oldSide->Path;
            std::string rest;
            int group = GroupOf(groups, key, rest);
            if (group < 0)
                throw EPatchFormatError("'" + shown + "' lies in no group's folder");
            TPatchEntry e;
            e.Group = static_cast<uint32_t>(group);
            // Keep the new tree's spelling of the name, minus the group's folder.
            e.Path = shown.substr(shown.size() - rest.size());
            std::string summary = "0 bytes";
            if (oldSide && newSide && oldSide->Size == newSide->Size &&
                oldSide->Hash == newSide->Hash) {
                ++stats.Unchanged;
                continue;
            }
            if (oldSide) {
                e.OldSize = oldSide->Size;
                e.OldHash = oldSide->Hash;
            }
            if (newSide) {
                e.NewSize = newSide->Size;
                e.NewHash = newSide->Hash;
            }
            if (!newSide) {
                e.Action = TPatchAction::Delete;
                e.Method = TPatchMethod::None;
                ++stats.Deleted;
            } else {
                e.Action = oldSide ? TPatchAction::Patch : TPatchAction::Add;
                TCandidates c;
                if (oldSide && options.AllowDelta)
                    c = TryDeltas(files, writer, building, files.Join(oldDir, oldSide->Path),
                                  files.Join(newDir, newSide->Path), e.Path, options);
                // Whole content wins when it compresses smaller than every delta.
                auto newIn = files.OpenRead(files.Join(newDir, newSide->Path));
                c.Whole = DeflatedSize(*newIn);
                if (c.Method == TPatchMethod::None || c.Whole < c.Place.Size) {
                    if (c.Method != TPatchMethod::None)
                        writer.DiscardFrom(c.Place.Offset);
                    newIn->SetPosition(0);
                    c.Place = writer.WriteDeflated(*newIn);
                    c.Method = TPatchMethod::Whole;
                }
                e.Method = c.Method;
                e.PayloadOffset = c.Place.Offset;
                e.PayloadSize = c.Place.Size;
                e.PayloadRawSize = c.Place.RawSize;
                stats.Deltas += c.Method == TPatchMethod::Delta ? 1 : 0;
                stats.Differences += c.Method == TPatchMethod::BsDelta ? 1 : 0;
                ++(oldSide ? stats.Patched : stats.Added);
                summary = Summary(c);
            }
            if (options.Log)
                options.Log(std::string(ActionName(e.Action)) + " " + groups[e.Group].Name + ":" +
                            e.Path + " (" + summary + ")");
            entries.push_back(std::move(e));
        }
        std::stable_sort(
            entries.begin(), entries.end(),
            [](const TPatchEntry& a, const TPatchEntry& b) { return a.Group < b.Group; });
        for (const auto& e : entries)
            writer.AddEntry(e);
        writer.Finish();
        stats.PatchSize = static_cast<uint64_t>(out->GetSize());
    } catch (...) {
        if (files.Query(building).Exists)
            files.Remove(building);
        throw;
    }
    if (files.Query(outFile).Exists)
        files.Remove(outFile);
    files.Rename(building, outFile);
    return stats;
}

} // namespace oru::patch
