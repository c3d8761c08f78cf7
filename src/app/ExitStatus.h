// The exit statuses of ORUUpdate.exe, for the programs that start it.
#pragma once

namespace oru {

// The update window was closed after its run (or after a package that asked for
// nothing); a restart of the computer is never reported here.
constexpr int ExitCompleted = 0;
// The start was abandoned: a check failed and was reported, or an error ended the
// start before the update window ran. Nothing was written outside the program's
// own folder.
constexpr int ExitStartAbandoned = 2;
// An error escaped the message loop after the start.
constexpr int ExitUnexpectedError = 3;

} // namespace oru
