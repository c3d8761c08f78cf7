// A stand-in for the patch engine library. Its export ordinal 1 hands the engine's
// arguments on to the function whose address the test process put into
// ORU_STAND_IN_ENGINE, so that a test plays the engine in C++ while the product
// still loads a library by name and calls its entry point.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

using Callback = void*(WINAPI*)(UINT id, void* parm);
using Engine = UINT (*)(LPCSTR commandLine, Callback callback, BOOL flag);

extern "C" UINT WINAPI StandInApply(LPCSTR commandLine, Callback callback, BOOL flag) {
    char address[32] = {};
    GetEnvironmentVariableA("ORU_STAND_IN_ENGINE", address, sizeof address);
    const auto engine = reinterpret_cast<Engine>(std::strtoull(address, nullptr, 10));
    return engine(commandLine, callback, flag);
}
