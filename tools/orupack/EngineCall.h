// Calling a patch engine the way an update run does: through the library's
// export ordinal 1 on Windows, through the linked engine core elsewhere.
#pragma once

#include "engine/PatchCallbacks.h"

#include <string>

namespace oru::pack {

// dll empty: "patchw32.dll" by the system's search order (Windows) or the linked
// core (elsewhere, where a dll cannot be named). Returns the engine's result.
uint32_t CallPatchEngine(const std::string& dll, const std::string& commandLine,
                         const oru::patch::TPatchCallback& callback);

} // namespace oru::pack
