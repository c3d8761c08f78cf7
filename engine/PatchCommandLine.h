// The engine's command line: an optional "-d" switch with drive letters, then the
// target folder and the patch file, each in double quotes (quotes may be left off
// a path without blanks).
#pragma once

#include "platform/SysUtils.h"

#include <string>

namespace oru::patch {

class ECommandLineError : public Exception {
  public:
    using Exception::Exception;
};

struct TEngineCommandLine {
    std::string Drives; // upper-case letters after "-d", possibly empty
    std::string TargetFolder;
    std::string PatchFile;
};

// Throws ECommandLineError with a message saying what is wrong.
TEngineCommandLine ParseEngineCommandLine(const std::string& commandLine);

} // namespace oru::patch
