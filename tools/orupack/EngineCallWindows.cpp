// Loads the engine library and calls export ordinal 1 with a callback that
// forwards to the caller's function. One run at a time, as with any host.
#include <windows.h>

#include "orupack/EngineCall.h"

#include <stdexcept>

namespace oru::pack {

namespace {

using TApplyProc = uint32_t(WINAPI*)(const char* commandLine, void* callback, uint32_t flag);

const oru::patch::TPatchCallback* activeCallback = nullptr;

void* CALLBACK ForwardCallback(uint32_t id, void* parm) {
    try {
        return activeCallback ? (*activeCallback)(id, parm) : nullptr;
    } catch (...) {
        return nullptr; // an exception must not unwind through the engine
    }
}

struct TLibrary {
    HMODULE h;
    ~TLibrary() { FreeLibrary(h); }
};

std::string LastErrorText(const std::string& context) {
    DWORD code = GetLastError();
    char buffer[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer, sizeof buffer, nullptr);
    std::string text = buffer;
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return context + ": " + text + " (" + std::to_string(code) + ")";
}

} // namespace

uint32_t CallPatchEngine(const std::string& dll, const std::string& commandLine,
                         const oru::patch::TPatchCallback& callback) {
    const std::string name = dll.empty() ? "patchw32.dll" : dll;
    HMODULE module = LoadLibraryA(name.c_str());
    if (!module)
        throw std::runtime_error(LastErrorText("Cannot load " + name));
    TLibrary library{module};
    auto apply = reinterpret_cast<TApplyProc>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    if (!apply)
        throw std::runtime_error(LastErrorText(name + " has no export ordinal 1"));
    activeCallback = &callback;
    uint32_t result = apply(commandLine.c_str(), reinterpret_cast<void*>(&ForwardCallback), 1);
    activeCallback = nullptr;
    return result;
}

} // namespace oru::pack
