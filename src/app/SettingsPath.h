#pragma once

#include <string>

// Where the settings file lives. Beside the program only when that file is already
// there (a portable install someone set up on purpose): the program's path with "ini"
// for its last three characters when it is named "*.exe", else the program's path plus
// ".ini". Otherwise lumeko/lumeko.ini in the user's configuration folder, so that a
// program in a system folder never has settings made there, whoever runs it.
std::string SettingsPathFor(const std::string& programPath, const std::string& configHome);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// .config in the home folder. Empty arguments are unset variables.
std::string ConfigHomeFor(const std::string& xdgConfigHome, const std::string& home);
