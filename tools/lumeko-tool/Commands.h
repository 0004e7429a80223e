#pragma once

#include <CLI/CLI.hpp>

// The subcommands of lumeko-tool. Each adds itself to the application; a failing
// command reports on stderr and ends the program with a nonzero status.
void AddInfoCommand(CLI::App& app);
void AddDumpCommand(CLI::App& app);
void AddMakeCommand(CLI::App& app);
void AddPlayCommand(CLI::App& app);
void AddConvertCommand(CLI::App& app);
void AddThumbnailCommand(CLI::App& app);
