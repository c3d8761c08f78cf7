// VCDIFF through the codec in engine/vcdiff.
#include "engine/PatchDelta.h"

#include "engine/vcdiff/Vcdiff.h"

namespace oru::patch {

void ApplyDelta(TStream& source, TStream& delta, TStream& target) {
    vcdiff::DecodeOptions options;
    options.maxTargetWindow = 16 << 20;
    // As large as the source window MakeDelta writes, so scattered COPYs never
    // re-read a block; smaller would thrash, larger would only raise the peak for
    // foreign patches with wider windows.
    options.sourceCache = 32 << 20;
    vcdiff::Decode(source, delta, target, options);
}

void MakeDelta(TStream& source, TStream& target, TStream& delta) {
    vcdiff::EncodeOptions options;
    options.targetWindow = 8 << 20;
    options.sourceWindow = 32 << 20;
    options.level = 9;
    vcdiff::Encode(source, target, delta, options);
}

} // namespace oru::patch
