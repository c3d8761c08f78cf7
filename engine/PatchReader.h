// Reading a patch file: the checksum over the whole file first, so damage is
// found before anything else is believed, then the directory with every bound
// checked (a file with a valid checksum may still have been made by hand).
#pragma once

#include "engine/PatchFormat.h"
#include "platform/Streams.h"

#include <functional>

namespace oru::patch {

// Called with the number of bytes just checked, so long checks can report progress.
using TCheckTick = std::function<void(uint64_t bytes)>;

// Throws EPatchFormatError for anything that is not a sound patch file.
TPatchDirectory ReadPatchFile(TStream& file, const TCheckTick& tick = nullptr);

} // namespace oru::patch
