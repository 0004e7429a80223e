#pragma once

#include <memory>
#include <string>

#include "movie/DuckMovie.h"
#include "platform/ConsoleMessageBox.h"

// A movie opened for one of the tool's commands, with its messages on the console.
struct ToolMovie {
    platform::ConsoleMessageBox messages{"lumeko-tool: "};
    CDuckMovie movie{messages};
};

// Opens `path` or ends the command with a message naming it and why it cannot be played.
std::unique_ptr<ToolMovie> OpenMovieOrFail(const std::string& path);
