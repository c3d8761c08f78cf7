#include "update/RTPatchCommandLine.h"

namespace oru {

char PathDriveLetter(const std::string& path) {
    if (path.size() < 2 || path[1] != ':')
        return 0;
    char c = path[0];
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    return c;
}

std::string BuildDriveSwitch(const std::string& installDir, const std::string& windowsFolder) {
    char windowsDrive = PathDriveLetter(windowsFolder);
    char installDrive = PathDriveLetter(installDir);
    if (windowsDrive == 0 && installDrive == 0)
        return {};
    std::string result = "-d";
    if (windowsDrive != 0)
        result += windowsDrive;
    if (installDrive != 0 && installDrive != windowsDrive)
        result += installDrive;
    return result;
}

std::string FolderWithoutDelimiter(const std::string& path) {
    size_t last = path.find_last_of("\\:");
    if (last == std::string::npos)
        return {};
    // Keep the delimiter of a root ("C:\", "\\") so the engine still gets a folder.
    if (last > 0 && path[last] == '\\' && path[last - 1] != '\\' && path[last - 1] != ':')
        return path.substr(0, last);
    return path.substr(0, last + 1);
}

TRTPatchCommandLine BuildRTPatchCommandLine(const std::string& installDir,
                                            const std::string& patchArchivePath,
                                            const std::string& windowsFolder) {
    TRTPatchCommandLine result;
    result.DriveSwitch = BuildDriveSwitch(installDir, windowsFolder);
    if (!result.DriveSwitch.empty())
        result.Text = result.DriveSwitch + " ";
    result.Text.append("\"").append(FolderWithoutDelimiter(installDir)).append("\" \"");
    result.Text.append(patchArchivePath).append("\"");
    return result;
}

} // namespace oru
