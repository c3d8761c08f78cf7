// The system's own folders as Windows reports them, each with a trailing "\".
// Windows test programs only.
#pragma once

#include <windows.h>

#include <string>

namespace oru::test {

namespace detail {
inline std::string WithDelimiter(std::string s) {
    if (!s.empty() && s.back() != '\\')
        s += '\\';
    return s;
}
inline std::string Folder(UINT(WINAPI* query)(LPSTR, UINT)) {
    char b[MAX_PATH];
    return WithDelimiter(std::string(b, query(b, MAX_PATH)));
}
} // namespace detail

inline std::string WindowsFolder() { return detail::Folder(::GetWindowsDirectoryA); }
inline std::string SystemFolder() { return detail::Folder(::GetSystemDirectoryA); }

inline std::string TempFolder() {
    char b[MAX_PATH];
    return detail::WithDelimiter(std::string(b, ::GetTempPathA(MAX_PATH, b)));
}

// The folder of the running test program.
inline std::string ProgramFolder() {
    char b[MAX_PATH];
    std::string s(b, ::GetModuleFileNameA(nullptr, b, MAX_PATH));
    return s.substr(0, s.find_last_of('\\') + 1);
}

} // namespace oru::test
