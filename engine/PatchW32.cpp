// The exported entry point of patchw32.dll (ordinal 1). Hosts call it with the
// standard Windows calling convention; no exception may leave it.
#include <windows.h>

#include "engine/PatchEngine.h"

#include <cstdint>

namespace {
using TEngineCallback = void*(WINAPI*)(uint32_t id, void* parm);
}

extern "C" uint32_t WINAPI OruPatchApply(const char* commandLine, TEngineCallback callback,
                                         uint32_t flag) {
    using namespace oru::patch;
    if (!commandLine || !callback)
        return resBadCommandLine;
    try {
        TPatchEngine engine(SystemPatchFiles(),
                            [callback](uint32_t id, void* parm) { return callback(id, parm); });
        if (flag != 1) {
            // Only the one calling convention exists so far; refuse rather than guess.
            static const char text[] = "Unsupported engine call flag; expected 1.";
            callback(cbError, const_cast<char*>(text));
            return resBadCommandLine;
        }
        return engine.Run(commandLine);
    } catch (...) {
        return resInternalError;
    }
}
