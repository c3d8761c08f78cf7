// Without Windows libraries the linked engine core runs the same command line.
#include "orupack/EngineCall.h"

#include "engine/PatchEngine.h"
#include "orupack/Command.h"

namespace oru::pack {

uint32_t CallPatchEngine(const std::string& dll, const std::string& commandLine,
                         const oru::patch::TPatchCallback& callback) {
    if (!dll.empty())
        throw UsageError(
            "--engine needs the Windows build of orupack; this one applies through its own engine");
    oru::patch::TPatchEngine engine(oru::patch::SystemPatchFiles(), callback);
    return engine.Run(commandLine);
}

} // namespace oru::pack
