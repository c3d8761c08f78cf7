// Shared by the tests of the engine binding and the run steps: the engine played in
// C++ behind the stand-in patchw32.dll (StandInEngine.cpp), and update archives
// whose members carry the placeholders of the extraction step.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace oru::test {

using TEngineCallback = void*(WINAPI*)(UINT id, void* parm);

// While it lives, a run of the stand-in engine records its arguments and plays
// Play, whose return value is the run's result.
class TStandInEngine {
public:
    explicit TStandInEngine(std::function<UINT(TEngineCallback)> play);
    ~TStandInEngine();
    TStandInEngine(const TStandInEngine&) = delete;
    TStandInEngine& operator=(const TStandInEngine&) = delete;

    std::function<UINT(TEngineCallback)> Play;
    std::string CommandLine, CurrentFolder;
    BOOL Flag = FALSE;
};

// A member of an update archive: Extra is the "<PLACEHOLDER>;flag" text the
// extraction step reads; a spoiled CRC makes its extraction fail.
struct TArchiveMember {
    std::string Extra;
    std::string Name;
    std::string Data;
    bool SpoilCrc = false;
};

void WriteArchive(const std::string& path, const std::vector<TArchiveMember>& members);

} // namespace oru::test
