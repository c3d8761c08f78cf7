// Shared by the tests that drive the scripted stand-in engine: a scratch folder,
// the script and log files the stand-in reads and writes, and the paths of the
// test libraries built beside the test programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace oru::test {

// A fresh folder under the system's temporary folder, removed with its files.
class TScratch {
public:
    TScratch();
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    const std::string& Path() const { return path_; } // ends with "\"
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// The folder of the running test program, with a trailing "\".
std::string ProgramFolder();

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
bool FileThere(const std::string& path);

// Points the stand-in engine at a script (written now) and a log file; the
// environment is restored on destruction.
class TEngineScript {
public:
    TEngineScript(const TScratch& scratch, const std::string& script);
    ~TEngineScript();
    TEngineScript(const TEngineScript&) = delete;
    TEngineScript& operator=(const TEngineScript&) = delete;
    // The log's lines; empty when the engine never ran.
    std::vector<std::string> Log() const;
    // The "reply ..." lines only.
    std::vector<std::string> Replies() const;
    const std::string& LogPath() const { return logPath_; }

private:
    std::string logPath_;
};

} // namespace oru::test
