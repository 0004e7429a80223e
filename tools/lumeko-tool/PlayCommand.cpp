#include <fmt/core.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "Commands.h"
#include "OpenMovie.h"
#include "StopSignals.h"
#include "ToolOutput.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/MemorySettings.h"
#include "platform/SilentWaveOut.h"
#include "platform/ThreadTimer.h"
#include "platform/sdl/SdlWaveOut.h"
#include "playback/LumekoDoc.h"

namespace {

// The main frame of a player without windows: the status panes go to the terminal.
class ConsoleFrame final : public platform::IDocumentFrame {
public:
    void SetPaneText(int pane, std::string_view text) override {
        if (pane == 2) m_total = text;
        if (pane == 1) m_elapsed = text;
        fmt::print("\r{} / {}   ", m_elapsed, m_total);
        std::fflush(stdout);
    }
    void SetTitle(std::string_view title) override {
        fmt::print("\n{}\n", title);
        opened = true;
    }
    void AddToRecentFileList(const std::string&) override {}
    void PostClose() override { closeRequested = true; }

    bool closeRequested = false;
    bool opened = false;  // a movie opened since the flag was last cleared

private:
    std::string m_elapsed = " 0: 0", m_total = " 0: 0";
};

// A time as seconds ("90", "12.5"), minutes and seconds ("1:30") or hours, minutes
// and seconds ("1:02:03"); nothing when it is none of these.
std::optional<double> ParseTime(const std::string& text) {
    double total = 0;
    size_t start = 0;
    for (int part = 0; part < 3; ++part) {
        const size_t colon = text.find(':', start);
        const std::string field =
            text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        char* end = nullptr;
        const double value = std::strtod(field.c_str(), &end);
        if (field.empty() || *end != '\0' || !(value >= 0) || (part > 0 && value >= 60))
            return std::nullopt;
        total = total * 60 + value;
        if (colon == std::string::npos) return total;
        start = colon + 1;
    }
    return std::nullopt;
}

}  // namespace

void AddPlayCommand(CLI::App& app) {
    auto* cmd =
        app.add_subcommand("play",
                           "Play movies without a window: the sound on the sound device, the "
                           "playing time in the terminal");
    struct Options {
        std::vector<std::string> movies;
        bool play = false, close = false, loop = false, noAudio = false;
        std::string start;
    };
    auto o = std::make_shared<Options>();
    cmd->add_option("MOVIE", o->movies, "AVI files, played one after another")->required();
    cmd->add_flag("--play", o->play, "Start each movie as soon as it is open");
    cmd->add_flag("--close", o->close, "End after the last movie");
    cmd->add_flag("--loop", o->loop, "Play each movie again at its end");
    cmd->add_flag("--no-audio", o->noAudio, "Play without sound");
    cmd->add_option("--start", o->start, "Start each movie at this time: seconds, M:SS or H:MM:SS");
    cmd->callback([o] {
        const std::optional<double> start =
            o->start.empty() ? std::optional<double>(0) : ParseTime(o->start);
        if (!start)
            throw CLI::ValidationError("--start",
                                       "expected seconds, M:SS or H:MM:SS, for example 1:30");
        platform::MemorySettings settings;
        settings.WriteProfileInt("Lumeko", "loop", o->loop ? 1 : 0);
        platform::SteadyMillisecondClock clock;
        platform::ThreadTimer timer;
        platform::SdlWaveOut sdlWave;
        platform::SilentWaveOut noWave;
        platform::ConsoleMessageBox messages{"lumeko-tool: "};
        ConsoleFrame frame;
        CLumekoDoc doc({settings, clock, timer,
                        o->noAudio ? static_cast<platform::IWaveOut&>(noWave) : sdlWave, messages});
        doc.AttachFrame(&frame);
        doc.m_bAutoPlay = o->play;
        doc.m_bCloseWhenDone = o->close;
        // Each movie that cannot be played is named with the reason, and the others play.
        bool allPlayable = true;
        for (const auto& movie : o->movies) {
            ToolMovie probe;
            if (probe.movie.Open(movie)) {
                doc.m_pendingFiles.push_back(movie);
            } else {
                ReportError(probe.movie.GetOpenError());
                allPlayable = false;
            }
        }
        StopSignals signals;

        // Idle passes on a short timer: the due frame comes from the clock, so a pass a
        // millisecond keeps the picture on time without spinning a core.
        bool sawMovie = false;
        while (!frame.closeRequested) {
            if (const int signal = StopSignals::Caught().load()) {
                doc.m_pendingFiles.clear();
                doc.OnStop();
                doc.CloseMovie();
                fmt::print("\n");
                throw CLI::RuntimeError(128 + signal);
            }
            doc.IdleProcess(0);
            // Each movie starts where asked, through the player's own seek.
            if (frame.opened && doc.m_bPlaying && *start > 0) {
                doc.Seek(static_cast<uint32_t>(
                    std::min(*start * doc.m_movie.GetRate() / doc.m_movie.GetScale(), 4e9)));
                frame.opened = false;
            }
            sawMovie = sawMovie || doc.m_bOpen;
            const bool idle = !doc.m_bPlaying && doc.m_pendingFiles.empty();
            if (idle && (!doc.m_bOpen || doc.m_bFinished) && !o->close) break;
            if (idle && doc.m_bOpen && !doc.m_bFinished && !o->play) {
                fmt::print("\nOpened; give --play to play it\n");
                break;
            }
            if (idle && !doc.m_bOpen && !sawMovie) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        fmt::print("\n");
        if (!allPlayable || !sawMovie) EndFailed();
    });
}
