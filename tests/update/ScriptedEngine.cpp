// A stand-in for the patch engine library: export ordinal 1 takes the command line,
// the callback and a flag like the real engine, then plays a scripted sequence of
// callbacks and records every reply, so the binding and the callback handler can be
// tested without patching anything.
//
// The script is the text of ORU_ENGINE_SCRIPT, one step per line:
//   send ID none            callback with a null data pointer
//   send ID text TEXT       zero-terminated text (rest of the line; \n for a line feed)
//   send ID u16 N           pointer to an unsigned 16-bit number
//   send ID i32 N           pointer to a signed 32-bit number
//   send ID pair A|B        pointer to two text pointers
//   return N                ends the run with result N (default 0)
// The log, the text of ORU_ENGINE_LOG, gets "command", "flag" and "folder" lines first, then one
// "reply ID ..." line per callback: "null", "number N" for Id 19, "text T" otherwise.
#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

using Callback = void*(WINAPI*)(UINT id, void* parm);

// Line feeds are "\n" both ways, so a multi-line text is one line of script or log.
std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// The process environment as the system holds it (a test sets it through the
// system, which the C runtime's own copy would not see).
std::string Env(const char* name) {
    std::string value(32767, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

// Left in the environment for the test when the run ends.
struct Log : std::ostringstream {
    ~Log() { SetEnvironmentVariableA("ORU_ENGINE_LOG", str().c_str()); }
};

} // namespace

extern "C" UINT WINAPI ScriptedApply(LPCSTR commandLine, Callback callback, BOOL flag) {
    Log log;
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    log << "command " << commandLine << "\nflag " << flag << "\nfolder " << folder << "\n";

    std::istringstream script(Env("ORU_ENGINE_SCRIPT"));
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string verb, kind, rest;
        UINT id = 0;
        words >> verb;
        if (verb == "return") {
            unsigned long result = 0;
            words >> result;
            return static_cast<UINT>(result);
        }
        if (verb != "send")
            continue;
        words >> id >> kind;
        std::getline(words >> std::ws, rest);
        // Storage that outlives the call.
        std::string text = Replace(rest, "\\n", "\n");
        uint16_t u16 = 0;
        int32_t i32 = 0;
        const size_t bar = text.find('|');
        std::string first = text.substr(0, bar), second = bar == std::string::npos ? "" : text.substr(bar + 1);
        const char* pair[2] = {first.c_str(), second.c_str()};
        void* parm = nullptr;
        if (kind == "text") {
            parm = text.data();
        } else if (kind == "u16") {
            u16 = static_cast<uint16_t>(std::stoul(rest));
            parm = &u16;
        } else if (kind == "i32") {
            i32 = static_cast<int32_t>(std::stol(rest));
            parm = &i32;
        } else if (kind == "pair") {
            parm = pair;
        }
        void* reply = callback(id, parm);
        log << "reply " << id << " ";
        if (reply == nullptr)
            log << "null";
        else if (id == 19)
            log << "number " << reinterpret_cast<uintptr_t>(reply);
        else
            log << "text " << Replace(static_cast<const char*>(reply), "\n", "\\n");
        log << "\n";
    }
    return 0;
}
