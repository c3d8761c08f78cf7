// The delta codec as the engine and the builder use it, with memory bounds that
// keep a run within tens of megabytes whatever the file size.
#pragma once

#include "platform/Streams.h"

namespace oru::patch {

// source must be seekable; target receives the new content in order.
void ApplyDelta(TStream& source, TStream& delta, TStream& target);
void MakeDelta(TStream& source, TStream& target, TStream& delta);

} // namespace oru::patch
