#include <windows.h>

#include "EngineTestSupport.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace oru::test {

namespace {

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = folder + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full + "\\");
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

} // namespace

TScratch::TScratch() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int counter = 0;
    for (;;) {
        path_ = std::string(temp) + "oru-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + "\\";
        if (CreateDirectoryA(path_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create " + path_);
    }
}

TScratch::~TScratch() { RemoveTree(path_); }

std::string ProgramFolder() {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool FileThere(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEngineScript::TEngineScript(const TScratch& scratch, const std::string& script)
    : logPath_(scratch.File("engine.log")) {
    std::string scriptPath = scratch.File("engine.script");
    WriteText(scriptPath, script);
    DeleteFileA(logPath_.c_str());
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", scriptPath.c_str());
    SetEnvironmentVariableA("ORU_ENGINE_LOG", logPath_.c_str());
}

TEngineScript::~TEngineScript() {
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", nullptr);
    SetEnvironmentVariableA("ORU_ENGINE_LOG", nullptr);
}

std::vector<std::string> TEngineScript::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(logPath_));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> TEngineScript::Replies() const {
    std::vector<std::string> replies;
    for (const std::string& line : Log())
        if (line.rfind("reply ", 0) == 0)
            replies.push_back(line.substr(6));
    return replies;
}

} // namespace oru::test
