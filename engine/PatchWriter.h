// Writing a patch file: header, payloads as they come, then the directory and
// the trailer with the checksum over everything before it.
#pragma once

#include "engine/PatchFormat.h"
#include "platform/Streams.h"

namespace oru::patch {

struct TPayloadPlace {
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint64_t RawSize = 0;
};

class TPatchWriter {
  public:
    // out must be empty, readable and seekable (the checksum reads it back).
    explicit TPatchWriter(TStream& out);

    uint32_t AddGroup(const TPatchGroup& group);
    // Raw-deflates the rest of content into the payload area.
    TPayloadPlace WriteDeflated(TStream& content);
    // Stores bytes that are compressed already (a difference delta); RawSize is
    // left for the caller.
    TPayloadPlace WriteStored(const std::vector<uint8_t>& bytes);
    // Drops everything written from offset on (a payload that lost to a smaller one).
    void DiscardFrom(uint64_t offset);
    void AddEntry(const TPatchEntry& entry);
    // Writes the directory and the trailer; entries are checked by the reader's rules.
    void Finish();

    const TPatchDirectory& Directory() const { return dir_; }

  private:
    TStream& out_;
    TPatchDirectory dir_;
    bool finished_ = false;
};

} // namespace oru::patch
