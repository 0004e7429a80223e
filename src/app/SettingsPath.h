#pragma once

#include <string>

// Where the settings file lives. A program named "*.exe" keeps the original rule (its
// path with the last three characters replaced by "ini"); elsewhere the file is the
// program's path plus ".ini" when that file exists or its folder is writable, and
// otherwise lumeko/lumeko.ini in the user's configuration folder.
std::string SettingsPathFor(const std::string& programPath, const std::string& configHome);
