// The system's own folders as Windows reports them, each with a trailing "\".
// Windows test programs only.
#pragma once

#include <windows.h>

#include <string>

namespace oru::test {

namespace detail {
inline std::string WithDelimiter(const char* buffer, UINT length) {
    std::string s(buffer, length);
    if (!s.empty() && s.back() != '\\')
        s += '\\';
    return s;
}
} // namespace detail

inline std::string WindowsFolder() {
    char b[MAX_PATH];
    return detail::WithDelimiter(b, ::GetWindowsDirectoryA(b, MAX_PATH));
}

inline std::string SystemFolder() {
    char b[MAX_PATH];
    return detail::WithDelimiter(b, ::GetSystemDirectoryA(b, MAX_PATH));
}

inline std::string TempFolder() {
    char b[MAX_PATH];
    return detail::WithDelimiter(b, ::GetTempPathA(MAX_PATH, b));
}

// The folder of the running test program.
inline std::string ProgramFolder() {
    char b[MAX_PATH];
    std::string s(b, ::GetModuleFileNameA(nullptr, b, MAX_PATH));
    return s.substr(0, s.find_last_of('\\') + 1);
}

} // namespace oru::test
