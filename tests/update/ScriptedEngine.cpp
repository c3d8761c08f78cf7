// A stand-in for the patch engine library: export ordinal 1 takes the command line,
// the callback and a flag like the real engine, then plays a scripted sequence of
// callbacks and records every reply, so the binding and the callback handler can be
// tested without patching anything.
//
// The script is the file named by ORU_ENGINE_SCRIPT, one step per line:
//   send ID none            callback with a null data pointer
//   send ID text TEXT       zero-terminated text (rest of the line; \n \r \\ escapes)
//   send ID u16 N           pointer to an unsigned 16-bit number
//   send ID i32 N           pointer to a signed 32-bit number
//   send ID pair A|B        pointer to two text pointers
//   abort-on-null           from here on a null reply ends the run with 0x8001
//   return N                ends the run with result N (default 0)
// The log (ORU_ENGINE_LOG) gets "command", "flag" and "folder" lines first, then one
// "reply ID ..." line per callback: "null", "number N" for Id 19, "text T" otherwise.
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Callback = void*(WINAPI*)(UINT id, void* parm);

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The process environment as the system holds it (a test sets it through the
// system, which the C runtime's own copy would not see).
std::string Env(const char* name) {
    char buffer[MAX_PATH * 2] = {};
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

class Recorder {
public:
    explicit Recorder(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}
    void Line(const std::string& text) {
        // Escaped so multi-line texts keep one log line each.
        std::string escaped;
        for (char c : text)
            escaped += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
        out_ << escaped << "\n";
        out_.flush();
    }

private:
    std::ofstream out_;
};

} // namespace

extern "C" UINT WINAPI ScriptedApply(LPCSTR commandLine, Callback callback,
                                                            BOOL flag) {
    Recorder log(Env("ORU_ENGINE_LOG"));
    log.Line(std::string("command ") + (commandLine ? commandLine : "(null)"));
    log.Line("flag " + std::to_string(flag));
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    log.Line(std::string("folder ") + folder);

    std::ifstream script(Env("ORU_ENGINE_SCRIPT"));
    if (!script) {
        log.Line("no script");
        return 0xFFFF;
    }
    bool abortOnNull = false;
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb.empty() || verb[0] == '#')
            continue;
        if (verb == "return") {
            unsigned long result = 0;
            words >> result;
            return static_cast<UINT>(result);
        }
        if (verb == "abort-on-null") {
            abortOnNull = true;
            continue;
        }
        if (verb != "send") {
            log.Line("bad step " + line);
            return 0xFFFF;
        }
        UINT id = 0;
        std::string kind;
        words >> id >> kind;
        std::string rest;
        std::getline(words, rest);
        if (!rest.empty() && rest[0] == ' ')
            rest.erase(0, 1);

        // Storage that outlives the call.
        std::string text = Unescape(rest);
        uint16_t u16 = 0;
        int32_t i32 = 0;
        std::string first, second;
        const char* pair[2] = {nullptr, nullptr};
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
            size_t bar = text.find('|');
            first = text.substr(0, bar);
            second = bar == std::string::npos ? "" : text.substr(bar + 1);
            pair[0] = first.c_str();
            pair[1] = second.c_str();
            parm = pair;
        }
        void* reply = callback(id, parm);
        std::string entry = "reply " + std::to_string(id) + " ";
        if (reply == nullptr)
            entry += "null";
        else if (id == 19)
            entry += "number " + std::to_string(reinterpret_cast<uintptr_t>(reply));
        else
            entry += "text " + std::string(static_cast<const char*>(reply));
        log.Line(entry);
        if (reply == nullptr && abortOnNull)
            return 0x8001;
    }
    return 0;
}
