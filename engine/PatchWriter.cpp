// Writes payloads as they come and the directory last, then checksums the file.
#include "engine/PatchWriter.h"

#include "engine/DeflateStreams.h"
#include "engine/PatchBytes.h"
#include "engine/PatchFilesX.h"

#include <algorithm>
#include <set>

namespace oru::patch {

TPatchWriter::TPatchWriter(TStream& out) : out_(out) {
    if (out_.GetSize() != 0)
        throw EPatchFormatError("A patch file must be written into an empty file");
    TByteWriter h;
    h.Raw(kHeaderMagic, sizeof kHeaderMagic);
    h.U16(kFormatVersion);
    h.U16(0);
    h.U32(0);
    out_.SetPosition(0);
    out_.WriteBuffer(h.Bytes().data(), static_cast<int32_t>(h.Bytes().size()));
}

uint32_t TPatchWriter::AddGroup(const TPatchGroup& group) {
    if (group.Name.empty())
        throw EPatchFormatError("A group needs a name");
    if (!IsSafeRelativePath(group.Folder, true))
        throw EPatchFormatError("The folder of group '" + group.Name +
                                "' is not a safe relative path");
    for (const auto& g : dir_.Groups)
        if (SameText(g.Name, group.Name))
            throw EPatchFormatError("Group '" + group.Name + "' is given twice");
    dir_.Groups.push_back(group);
    return static_cast<uint32_t>(dir_.Groups.size() - 1);
}

TPayloadPlace TPatchWriter::WriteDeflated(TStream& content) {
    TPayloadPlace place;
    place.Offset = static_cast<uint64_t>(out_.Seek(0, SeekOrigin::End));
    TDeflateWriter deflater(out_);
    std::vector<uint8_t> buffer(256 * 1024);
    for (;;) {
        int32_t n = content.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0)
            break;
        deflater.WriteBuffer(buffer.data(), n);
    }
    deflater.Finish();
    place.Size = deflater.BytesOut();
    place.RawSize = deflater.BytesIn();
    return place;
}

TPayloadPlace TPatchWriter::WriteStored(const std::vector<uint8_t>& bytes) {
    TPayloadPlace place;
    place.Offset = static_cast<uint64_t>(out_.Seek(0, SeekOrigin::End));
    for (size_t at = 0; at < bytes.size();) {
        int32_t chunk = static_cast<int32_t>(std::min<size_t>(bytes.size() - at, 1 << 20));
        out_.WriteBuffer(bytes.data() + at, chunk);
        at += static_cast<size_t>(chunk);
    }
    place.Size = bytes.size();
    return place;
}

void TPatchWriter::DiscardFrom(uint64_t offset) {
    if (offset < kHeaderSize)
        throw EPatchFormatError("Cannot discard the patch file's header");
    out_.SetSize(static_cast<int64_t>(offset));
    out_.Seek(0, SeekOrigin::End);
}

void TPatchWriter::AddEntry(const TPatchEntry& entry) {
    dir_.Entries.push_back(entry);
}

void TPatchWriter::Finish() {
    if (finished_)
        throw EPatchFormatError("The patch file is already finished");
    const uint64_t dirOffset = static_cast<uint64_t>(out_.Seek(0, SeekOrigin::End));
    TByteWriter d;
    d.U32(static_cast<uint32_t>(dir_.Groups.size()));
    for (const auto& g : dir_.Groups) {
        d.Str(g.Name);
        d.Str(g.Text);
        d.Str(g.Folder);
    }
    d.U32(static_cast<uint32_t>(dir_.Entries.size()));
    std::set<std::pair<uint32_t, std::string>> seen;
    for (const auto& e : dir_.Entries) {
        ValidateEntry(e, dir_.Groups.size(), kHeaderSize, dirOffset);
        if (!seen.insert({e.Group, PathKey(e.Path)}).second)
            throw EPatchFormatError("Entry '" + e.Path + "' is given twice in its group");
        d.U32(e.Group);
        d.Str(e.Path);
        d.U8(static_cast<uint8_t>(e.Action));
        d.U8(static_cast<uint8_t>(e.Method));
        d.U16(0);
        d.U64(e.OldSize);
        d.Raw(e.OldHash.data(), e.OldHash.size());
        d.U64(e.NewSize);
        d.Raw(e.NewHash.data(), e.NewHash.size());
        d.U64(e.PayloadOffset);
        d.U64(e.PayloadSize);
        d.U64(e.PayloadRawSize);
    }
    if (d.Bytes().size() > kMaxDirectorySize)
        throw EPatchFormatError("The patch has too many entries for one patch file");
    out_.WriteBuffer(d.Bytes().data(), static_cast<int32_t>(d.Bytes().size()));

    TByteWriter t;
    t.Raw(kTrailerMagic, sizeof kTrailerMagic);
    t.U64(dirOffset);
    t.U64(d.Bytes().size());
    out_.WriteBuffer(t.Bytes().data(), static_cast<int32_t>(t.Bytes().size()));

    // The checksum covers every byte before it, the trailer's own fields included.
    const uint64_t hashed = static_cast<uint64_t>(out_.GetPosition());
    TSha256 sha;
    std::vector<uint8_t> buffer(256 * 1024);
    out_.SetPosition(0);
    for (uint64_t left = hashed; left > 0;) {
        int32_t chunk = static_cast<int32_t>(std::min<uint64_t>(buffer.size(), left));
        out_.ReadBuffer(buffer.data(), chunk);
        sha.Update(buffer.data(), static_cast<size_t>(chunk));
        left -= static_cast<uint64_t>(chunk);
    }
    const TSha256Digest digest = sha.Final();
    out_.WriteBuffer(digest.data(), static_cast<int32_t>(digest.size()));
    finished_ = true;
}

} // namespace oru::patch
