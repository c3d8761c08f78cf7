#include <windows.h>

#include "ScriptedEngineSupport.h"

#include "support/Files.h"
#include "support/TestArchive.h"

#include <sstream>

namespace oru::test {

TEngineScript::TEngineScript(const TScratch& scratch, const std::string& script)
    : logPath_(scratch.File("engine.log")) {
    DeleteFileA(logPath_.c_str());
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", scratch.Write("engine.script", script).c_str());
    SetEnvironmentVariableA("ORU_ENGINE_LOG", logPath_.c_str());
}

TEngineScript::~TEngineScript() {
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", nullptr);
    SetEnvironmentVariableA("ORU_ENGINE_LOG", nullptr);
}

std::vector<std::string> TEngineScript::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(FileExists(logPath_) ? ReadWholeFile(logPath_) : "");
    for (std::string line; std::getline(in, line);)
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

void WriteArchive(const std::string& path, const std::vector<TArchiveMember>& members) {
    TestArchive archive;
    for (const TArchiveMember& m : members) {
        TestMember& member = archive.Members.emplace_back();
        member.Name = m.Name;
        member.Data = ToBytes(m.Data);
        member.LocalExtra = member.CentralExtra = m.Extra;
        if (m.SpoilCrc)
            member.Crc = ReferenceCrc(member.Data) ^ 0xFF;
    }
    WriteWholeFile(path, archive.Build());
}

} // namespace oru::test
