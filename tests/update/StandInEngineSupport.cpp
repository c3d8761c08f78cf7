#include <windows.h>

#include "StandInEngineSupport.h"

#include "support/Files.h"
#include "support/TestArchive.h"

namespace oru::test {

namespace {

TStandInEngine* Current = nullptr;

UINT PlayCurrent(LPCSTR commandLine, TEngineCallback callback, BOOL flag) {
    TStandInEngine& engine = *Current;
    engine.CommandLine = commandLine;
    engine.Flag = flag;
    char folder[MAX_PATH] = {};
    engine.CurrentFolder.assign(folder, GetCurrentDirectoryA(MAX_PATH, folder));
    return engine.Play ? engine.Play(callback) : 0;
}

} // namespace

TStandInEngine::TStandInEngine(std::function<UINT(TEngineCallback)> play) : Play(std::move(play)) {
    Current = this;
    SetEnvironmentVariableA("ORU_STAND_IN_ENGINE",
                            std::to_string(reinterpret_cast<uintptr_t>(&PlayCurrent)).c_str());
}

TStandInEngine::~TStandInEngine() {
    SetEnvironmentVariableA("ORU_STAND_IN_ENGINE", nullptr);
    Current = nullptr;
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
