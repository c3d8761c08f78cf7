// Shared by the tests that drive the scripted stand-in engine (patchw32.dll built
// from ScriptedEngine.cpp): its script and log, and update archives whose members
// carry the placeholders of the extraction step.
#pragma once

#include <string>
#include <vector>

namespace oru::test {

// Gives the stand-in engine its script and clears its log; both go on destruction.
class TEngineScript {
public:
    explicit TEngineScript(const std::string& script);
    ~TEngineScript();
    TEngineScript(const TEngineScript&) = delete;
    TEngineScript& operator=(const TEngineScript&) = delete;
    // The log's lines; empty when the engine never ran.
    std::vector<std::string> Log() const;
    // The "reply ..." lines only.
    std::vector<std::string> Replies() const;
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
