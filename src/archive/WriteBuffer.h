// Gathers the small chunks a decompression produces into large writes to the file
// below, so that a big member costs a few hundred system calls instead of tens of
// thousands. The buffer belongs to the caller and is reused member after member.
#pragma once

#include "platform/Streams.h"

#include <cstdint>
#include <vector>

namespace oru {

class TWriteBufferStream : public TStream {
  public:
    // buffer must not be empty; its contents are scratch.
    TWriteBufferStream(TStream& target, std::vector<uint8_t>& buffer);

    // Accepts everything or raises the target's error.
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Read(void* buffer, int32_t count) override;       // always 0
    int64_t Seek(int64_t offset, SeekOrigin origin) override; // position written so far

    // Writes out what is gathered (to the target, not to its disk); call before
    // anything else touches the target.
    void Flush() override;

  private:
    TStream& target_;
    std::vector<uint8_t>& buffer_;
    size_t used_ = 0;
    int64_t written_ = 0;
};

} // namespace oru
