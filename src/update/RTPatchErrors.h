// The patch engine's errors, each carrying only its message: the user aborted
// (the engine's abort code), the engine library was unusable or reported an
// invalid format, or any other failure of the engine.
#pragma once

#include "platform/SysUtils.h"

namespace oru {

class ERTPatch : public Exception {
public:
    using Exception::Exception;
};

class ERTPatchAborted : public Exception {
public:
    using Exception::Exception;
};

class ERTExtractingDLL : public Exception {
public:
    using Exception::Exception;
};

} // namespace oru
