#include "app/SettingsPath.h"

#include <unistd.h>

#include <filesystem>

std::string SettingsPathFor(const std::string& programPath, const std::string& configHome) {
    namespace fs = std::filesystem;
    if (programPath.size() > 4 && programPath.compare(programPath.size() - 4, 4, ".exe") == 0)
        return programPath.substr(0, programPath.size() - 3) + "ini";
    const std::string beside = programPath + ".ini";
    const std::string folder = fs::path(programPath).parent_path().string();
    std::error_code ec;
    if (fs::exists(beside, ec) || access(folder.empty() ? "." : folder.c_str(), W_OK) == 0) return beside;
    return (fs::path(configHome) / "lumeko" / "lumeko.ini").string();
}
