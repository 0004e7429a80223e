#include "OpenMovie.h"

#include <CLI/CLI.hpp>
#include <fmt/core.h>

std::unique_ptr<ToolMovie> OpenMovieOrFail(const std::string& path) {
    auto tool = std::make_unique<ToolMovie>();
    if (!tool->movie.Open(path)) {
        fmt::print(stderr, "{}: not a TrueMotion movie that Lumeko can open\n", path);
        throw CLI::RuntimeError(1);
    }
    return tool;
}
