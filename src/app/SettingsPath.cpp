#include "app/SettingsPath.h"

#include <sys/stat.h>

#include <filesystem>

std::string SettingsPathFor(const std::string& programPath, const std::string& configHome) {
    const bool exe =
        programPath.size() > 4 && programPath.compare(programPath.size() - 4, 4, ".exe") == 0;
    const std::string beside =
        exe ? programPath.substr(0, programPath.size() - 3) + "ini" : programPath + ".ini";
    struct stat info {};
    if (::stat(beside.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return beside;
    return (std::filesystem::path(configHome) / "lumeko" / "lumeko.ini").string();
}

std::string ConfigHomeFor(const std::string& xdgConfigHome, const std::string& home) {
    // A relative value is invalid and to be ignored.
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') return xdgConfigHome;
    return (std::filesystem::path(home.empty() ? "/" : home) / ".config").string();
}
