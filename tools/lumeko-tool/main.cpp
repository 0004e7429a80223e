#include <fmt/core.h>

#include <CLI/CLI.hpp>
#include <exception>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "lumeko-tool: inspect, decode, play, convert and make TrueMotion movies without a window"};
    app.set_version_flag("--version", "lumeko-tool " LUMEKO_VERSION);
    app.require_subcommand(1);
    AddInfoCommand(app);
    AddDumpCommand(app);
    AddMakeCommand(app);
    AddPlayCommand(app);
    AddConvertCommand(app);
    AddThumbnailCommand(app);
    // 0 success, 1 failure (reported by the command), 2 usage error.
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        return e.get_exit_code();
    } catch (const CLI::ParseError& e) {
        // Help and version end with 0; a wrong command line is reported with the usage.
        return app.exit(e) == 0 ? 0 : 2;
    } catch (const std::exception& e) {
        fmt::print(stderr, "lumeko-tool: {}\n", e.what());
        return 1;
    }
    return 0;
}
