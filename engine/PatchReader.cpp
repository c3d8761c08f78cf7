// Checksum first, then header, trailer and directory, each bound checked.
#include "engine/PatchReader.h"

#include "engine/PatchBytes.h"
#include "engine/PatchFilesX.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace oru::patch {

namespace {

constexpr size_t kMinGroupSize = 6;
constexpr size_t kMinEntrySize = 4 + 2 + 4 + 8 + 32 + 8 + 32 + 24;

bool IsPlainText(const std::string& s) {
    return std::none_of(s.begin(), s.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

void CheckChecksum(TStream& file, uint64_t size, const uint8_t* stored, const TCheckTick& tick) {
    TSha256 sha;
    std::vector<uint8_t> buffer(256 * 1024);
    uint64_t left = size - 32;
    file.SetPosition(0);
    while (left > 0) {
        int32_t chunk = static_cast<int32_t>(std::min<uint64_t>(buffer.size(), left));
        file.ReadBuffer(buffer.data(), chunk);
        sha.Update(buffer.data(), static_cast<size_t>(chunk));
        left -= static_cast<uint64_t>(chunk);
        if (tick)
            tick(static_cast<uint64_t>(chunk));
    }
    if (std::memcmp(sha.Final().data(), stored, 32) != 0)
        throw EPatchFormatError("The patch file is damaged: its checksum does not match");
}

TPatchDirectory ParseDirectory(const std::vector<uint8_t>& bytes, uint64_t payloadEnd) {
    TByteReader r(bytes.data(), bytes.size());
    TPatchDirectory dir;
    uint32_t groups = r.U32();
    if (groups == 0 || groups > r.Left() / kMinGroupSize)
        throw EPatchFormatError("The patch directory has an impossible number of groups");
    std::set<std::string> groupNames;
    for (uint32_t i = 0; i < groups; ++i) {
        TPatchGroup g;
        g.Name = r.Str();
        g.Text = r.Str();
        g.Folder = r.Str();
        if (g.Name.empty() || !IsPlainText(g.Name) || !IsPlainText(g.Text))
            throw EPatchFormatError("A group of the patch has an invalid name or text");
        if (!IsSafeRelativePath(g.Folder, true))
            throw EPatchFormatError("Group '" + g.Name +
                                    "' names a folder outside the target folder");
        if (!groupNames.insert(UpperCase(g.Name)).second)
            throw EPatchFormatError("Group '" + g.Name + "' appears twice");
        dir.Groups.push_back(std::move(g));
    }
    uint32_t entries = r.U32();
    if (entries > r.Left() / kMinEntrySize)
        throw EPatchFormatError("The patch directory has an impossible number of entries");
    std::set<std::pair<uint32_t, std::string>> seen;
    for (uint32_t i = 0; i < entries; ++i) {
        TPatchEntry e;
        e.Group = r.U32();
        e.Path = r.Str();
        e.Action = static_cast<TPatchAction>(r.U8());
        e.Method = static_cast<TPatchMethod>(r.U8());
        if (r.U16() != 0)
            throw EPatchFormatError("Entry '" + e.Path + "' has reserved bits set");
        e.OldSize = r.U64();
        r.Raw(e.OldHash.data(), e.OldHash.size());
        e.NewSize = r.U64();
        r.Raw(e.NewHash.data(), e.NewHash.size());
        e.PayloadOffset = r.U64();
        e.PayloadSize = r.U64();
        e.PayloadRawSize = r.U64();
        ValidateEntry(e, dir.Groups.size(), kHeaderSize, payloadEnd);
        if (!seen.insert({e.Group, PathKey(e.Path)}).second)
            throw EPatchFormatError("Entry '" + e.Path + "' appears twice in its group");
        dir.Entries.push_back(std::move(e));
    }
    if (r.Left() != 0)
        throw EPatchFormatError("The patch directory has stray bytes at its end");
    return dir;
}

} // namespace

TPatchDirectory ReadPatchFile(TStream& file, const TCheckTick& tick) {
    const int64_t signedSize = file.GetSize();
    if (signedSize < static_cast<int64_t>(kHeaderSize + kTrailerSize))
        throw EPatchFormatError("The file is too short to be a patch file");
    const uint64_t size = static_cast<uint64_t>(signedSize);

    uint8_t header[kHeaderSize];
    file.SetPosition(0);
    file.ReadBuffer(header, kHeaderSize);
    if (std::memcmp(header, kHeaderMagic, sizeof kHeaderMagic) != 0)
        throw EPatchFormatError("The file is not a patch file");

    uint8_t trailer[kTrailerSize];
    file.SetPosition(static_cast<int64_t>(size - kTrailerSize));
    file.ReadBuffer(trailer, kTrailerSize);
    CheckChecksum(file, size, trailer + kTrailerSize - 32, tick);

    TByteReader h(header + sizeof kHeaderMagic, kHeaderSize - sizeof kHeaderMagic);
    uint16_t version = h.U16();
    uint16_t flags = h.U16();
    uint32_t reserved = h.U32();
    if (version > kFormatVersion)
        throw EPatchFormatError(
            Format("The patch file has format version %u; this engine reads up to %u", version,
                   kFormatVersion));
    if (version == 0 || flags != 0 || reserved != 0)
        throw EPatchFormatError("The patch file's header is invalid");

    if (std::memcmp(trailer, kTrailerMagic, sizeof kTrailerMagic) != 0)
        throw EPatchFormatError("The patch file's trailer is invalid");
    TByteReader t(trailer + sizeof kTrailerMagic, 16);
    uint64_t dirOffset = t.U64();
    uint64_t dirSize = t.U64();
    uint64_t dirEnd = size - kTrailerSize;
    if (dirOffset < kHeaderSize || dirOffset > dirEnd || dirSize != dirEnd - dirOffset)
        throw EPatchFormatError("The patch file's directory lies outside the file");
    if (dirSize > kMaxDirectorySize)
        throw EPatchFormatError("The patch file's directory is too large");

    std::vector<uint8_t> bytes(static_cast<size_t>(dirSize));
    file.SetPosition(static_cast<int64_t>(dirOffset));
    if (!bytes.empty())
        file.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return ParseDirectory(bytes, dirOffset);
}

} // namespace oru::patch
