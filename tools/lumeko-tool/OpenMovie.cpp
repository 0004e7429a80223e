#include "OpenMovie.h"

#include "ToolOutput.h"

std::unique_ptr<ToolMovie> OpenMovieOrFail(const std::string& path) {
    auto tool = std::make_unique<ToolMovie>();
    if (!tool->movie.Open(path)) Fail(tool->movie.GetOpenError());
    return tool;
}
