#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include <exception>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"lumeko-tool: inspect, decode, play, convert and make TrueMotion movies without a window"};
    app.set_version_flag("--version", "lumeko-tool " LUMEKO_VERSION);
    app.require_subcommand(1);
    AddInfoCommand(app);
    AddDumpCommand(app);
    AddMakeCommand(app);
    AddPlayCommand(app);
    AddConvertCommand(app);
    AddThumbnailCommand(app);
    try {
        CLI11_PARSE(app, argc, argv);
    } catch (const std::exception& e) {
        fmt::print(stderr, "lumeko-tool: {}\n", e.what());
        return 1;
    }
    return 0;
}
