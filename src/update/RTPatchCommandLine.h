// The patch engine's command line: a drive switch naming the drives the engine may
// touch, the installation folder and the patch file, each quoted. Pure text work,
// so it is shared by the Windows build and the native tests.
#pragma once

#include <string>

namespace oru {

// The upper-case drive letter of a path such as "c:\x"; 0 for network paths and
// anything shorter than "X:".
char PathDriveLetter(const std::string& path);

// "-d" + the Windows drive + the installation drive when it differs; empty when
// neither path is on a lettered drive.
std::string BuildDriveSwitch(const std::string& installDir, const std::string& windowsFolder);

// The folder part without its trailing delimiter; a root such as "C:\" keeps it.
std::string FolderWithoutDelimiter(const std::string& path);

struct TRTPatchCommandLine {
    std::string DriveSwitch;
    std::string Text;
};

TRTPatchCommandLine BuildRTPatchCommandLine(const std::string& installDir,
                                            const std::string& patchArchivePath,
                                            const std::string& windowsFolder);

} // namespace oru
