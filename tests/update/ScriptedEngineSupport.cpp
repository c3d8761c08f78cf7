#include <windows.h>

#include "ScriptedEngineSupport.h"

#include "support/Files.h"
#include "support/TestArchive.h"

#include <sstream>

namespace oru::test {

TEngineScript::TEngineScript(const std::string& script) {
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", script.c_str());
    SetEnvironmentVariableA("ORU_ENGINE_LOG", nullptr);
}

TEngineScript::~TEngineScript() {
    SetEnvironmentVariableA("ORU_ENGINE_SCRIPT", nullptr);
    SetEnvironmentVariableA("ORU_ENGINE_LOG", nullptr);
}

std::vector<std::string> TEngineScript::Log() const {
    std::string log(32767, '\0');
    log.resize(GetEnvironmentVariableA("ORU_ENGINE_LOG", log.data(), static_cast<DWORD>(log.size())));
    std::vector<std::string> lines;
    std::istringstream in(log);
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
