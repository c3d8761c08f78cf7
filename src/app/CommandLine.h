// The update program's command line: splitting the raw text into arguments and
// reading the fixed positions (folder, -NV Y, -P number).
#pragma once

#include "install/ProductCatalogue.h"

#include <string>
#include <vector>

namespace oru {

// Splits a raw command line the way the program's callers expect: blanks and
// control characters separate arguments, double quotes group and are dropped
// (so "" is an empty argument), and a backslash is an ordinary character, also
// in front of a quote. The first element is the program itself.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

struct TCommandLineArgs {
    std::string InstallDir;
    bool NetworkInstall = false;
    TProductKind ProductKind = 0;
    // Argument 5 after -P was given but is not a 32-bit integer.
    bool ProductNumberInvalid = false;
    std::string ProductArgument; // argument 5 as given
};

// params: the arguments after the program name.
TCommandLineArgs ReadCommandLine(const std::vector<std::string>& params);

// The box text for an argument 5 that is not an integer.
std::string InvalidProductNumberMessage(const std::string& argument);

} // namespace oru
