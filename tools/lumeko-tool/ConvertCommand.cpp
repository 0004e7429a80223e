#include <fmt/core.h>

#include <cctype>
#include <chrono>
#include <map>

#include "Commands.h"
#include "ExportCommand.h"
#include "ToolOutput.h"
#include "convert/Compressor.h"
#include "convert/ConversionHost.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/MemorySettings.h"
#include "platform/SilentWaveOut.h"
#include "platform/ThreadTimer.h"
#include "playback/LumekoDoc.h"

namespace {

// The conversion's dialogs answered from the command line, progress on the terminal.
class TerminalHost final : public convert::IConversionHost {
public:
    TerminalHost(std::string output, convert::COMPVARS choice, bool force,
                 ProgressLine::Mode progress)
        : m_output(std::move(output)),
          m_choice(choice),
          m_force(force),
          m_progress(progress),
          m_start(std::chrono::steady_clock::now()) {}
    std::optional<std::string> ChooseOutputPath(const std::string&) override {
        if (m_askedPath) return std::nullopt;  // asked again: the first answer was refused
        m_askedPath = true;
        return m_output;
    }
    bool ChooseCompressor(convert::COMPVARS& vars) override {
        if (m_askedCompressor) return false;
        m_askedCompressor = true;
        vars.fccHandler = m_choice.fccHandler;
        vars.lKey = m_choice.lKey;
        vars.lQ = m_choice.lQ;
        vars.lDataRate = m_choice.lDataRate;
        return true;
    }
    void PumpMessages() override {}
    bool MayReplaceExisting() const override { return m_force; }
    void ShowProgress(Stage stage, uint64_t done, uint64_t total) override {
        if (!m_progress.Enabled() || total == 0) return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const double rate = seconds > 0 ? done / seconds : 0;
        const double left = rate > 0 ? (total - done) / rate : 0;
        const int width = 30, filled = static_cast<int>(width * done / total);
        m_progress.Show(fmt::format("{} [{}{}] {}/{} {:.0f}/s {:.0f}s left   ",
                                    stage == Stage::kPictures ? "frames" : "sound ",
                                    std::string(static_cast<size_t>(filled), '#'),
                                    std::string(static_cast<size_t>(width - filled), '.'), done,
                                    total, rate, left),
                        done == total);
    }
    void ShowError(std::string_view text) override {
        ReportError(platform::ConsoleMessageBox::English(text));
        failed = true;
    }
    // The terminal gets the reason, which names the file, not the window's text.
    void ShowFailure(std::string_view text, std::string_view reason) override {
        ShowError(reason.empty() ? text : reason);
    }
    bool failed = false;

private:
    std::string m_output;
    convert::COMPVARS m_choice;
    bool m_force;
    ProgressLine m_progress;
    bool m_askedPath = false, m_askedCompressor = false;
    std::chrono::steady_clock::time_point m_start;
};

// Pane 0 of a window that is not there: only the last caption matters.
class CaptionFrame final : public platform::IDocumentFrame {
public:
    void SetPaneText(int pane, std::string_view text) override {
        if (pane == 0) caption = text;
    }
    void SetTitle(std::string_view) override {}
    void AddToRecentFileList(const std::string&) override {}
    void PostClose() override {}
    std::string caption;
};

// The compressors there are, by their handler code in lower case: "dib", "mjpg", ...
std::map<std::string, uint32_t> CodecNames() {
    std::map<std::string, uint32_t> names;
    for (const auto& c : convert::InstalledCompressors()) {
        std::string name;
        for (int shift = 0; shift < 32; shift += 8) {
            const char letter = static_cast<char>((c.fccHandler >> shift) & 0xFF);
            if (letter != ' ')
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        }
        names.emplace(name, c.fccHandler);
    }
    return names;
}

}  // namespace

void AddConvertCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "convert", "Convert a movie into a new AVI file, as the player's Convert does");
    struct Options {
        std::string in, out, codec = "dib";
        int keyEvery = 15, quality = 100, dataRate = 0;
        bool quiet = false, progress = false, force = false;
    };
    auto o = std::make_shared<Options>();
    cmd->add_option("IN", o->in, "The movie to convert");
    cmd->add_option("OUT", o->out, "The file to write: .avi, .mp4 or .webm");
    std::vector<std::string> codecs;
    for (const auto& [name, fcc] : CodecNames()) codecs.push_back(name);
    cmd->add_option("--codec", o->codec,
                    "Compressor: full frames (dib), Motion JPEG, TrueMotion or H.264")
        ->check(CLI::IsMember(codecs))
        ->capture_default_str();
    cmd->add_option("--key-every", o->keyEvery, "A key frame every N frames")
        ->check(CLI::Range(0, 100000))
        ->capture_default_str();
    cmd->add_option("--quality", o->quality, "Quality 0..100")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    cmd->add_option("--data-rate", o->dataRate, "Data rate in KB/s (0: none)")
        ->check(CLI::Range(0, 10000000))
        ->capture_default_str();
    cmd->add_flag("--quiet", o->quiet, "No progress bar and no closing line");
    cmd->add_flag("--progress", o->progress,
                  "Show the progress bar even when the standard error is not a terminal");
    cmd->add_flag("-f,--force", o->force, "Replace OUT when it exists");
    auto modern = AddExportOptions(*cmd);
    cmd->callback([o, modern] {
        const bool batch = !modern->to.empty() || !modern->outDir.empty();
        if (!batch) {
            if (o->in.empty() || o->out.empty())
                FailUsage(
                    "convert needs the movie and the output file, or --to FORMAT / --out-dir "
                    "DIR and the movies");
            if (o->out == "-")
                FailUsage(
                    "a movie file cannot be written to standard output: its headers and index "
                    "are written last; name a file instead of -");
            RefuseToReplace(o->out, o->force);
        }
        if (RunExport(*modern, o->in, o->out, o->quality, o->quiet)) return;
        convert::COMPVARS choice;
        choice.fccHandler = CodecNames().at(o->codec);
        choice.lKey = o->keyEvery;
        choice.lQ = o->quality * 100;
        choice.lDataRate = o->dataRate;

        platform::MemorySettings settings;
        platform::SteadyMillisecondClock clock;
        platform::ThreadTimer timer;
        platform::SilentWaveOut wave;
        platform::ConsoleMessageBox messages{"lumeko-tool: "};
        CaptionFrame frame;
        CLumekoDoc doc({settings, clock, timer, wave, messages});
        doc.AttachFrame(&frame);
        doc.m_pendingFiles.push_back(o->in);
        doc.IdleProcess(0);
        if (!doc.m_bOpen) Fail(doc.m_movie.GetOpenError());
        TerminalHost host(o->out, choice, o->force,
                          o->quiet      ? ProgressLine::Mode::kQuiet
                          : o->progress ? ProgressLine::Mode::kAlways
                                        : ProgressLine::Mode::kOnTerminal);
        doc.OnConvert(host);
        if (host.failed || frame.caption != "変換終了") {
            if (!host.failed) ReportError(o->out + ": the conversion did not finish");
            throw CLI::RuntimeError(1);
        }
        if (!o->quiet) fmt::print("{}: written\n", o->out);
    });
}
