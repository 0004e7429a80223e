#include <fmt/core.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "OpenMovie.h"
#include "ToolOutput.h"
#include "audio/AudioFormat.h"
#include "base/FourCC.h"

namespace {

std::string AudioFormatName(uint16_t tag) {
    switch (tag) {
        case WAVE_FORMAT_PCM:
            return "PCM";
        case audio::kWaveFormatDk4:
            return "DK4 ADPCM";
        case audio::kWaveFormatDk3:
            return "DK3 ADPCM";
        default:
            return fmt::format("tag 0x{:x}", tag);
    }
}

// A running length as H:MM:SS, or M:SS under an hour; whole seconds, exact for any
// rate and scale (frames × scale fits 64 bits).
std::string LengthText(uint32_t frames, uint32_t rate, uint32_t scale) {
    if (rate == 0) return "unknown";
    const uint64_t seconds = uint64_t{frames} * scale / rate;
    if (seconds < 3600) return fmt::format("{:2d}:{:02d}", seconds / 60, seconds % 60);
    return fmt::format("{}:{:02d}:{:02d}", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

struct MovieFacts {
    std::string path;
    int width, height, depth;
    uint32_t rate, scale, frames;
    double fps, seconds;
    std::string handler;
    bool sound;
    movie::WAVEFORMATEX wfx;
    uint16_t decodedChannels;
};

MovieFacts GatherFacts(const std::string& path) {
    auto tool = OpenMovieOrFail(path);
    CDuckMovie& m = tool->movie;
    movie::BITMAPINFOHEADER bmih;
    m.GetBitmapHeader(&bmih);
    // The depth is known once a frame header has been accepted.
    std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
    m.ReadFrame(0, picture.data());
    MovieFacts f{path,
                 bmih.biWidth,
                 bmih.biHeight,
                 m.GetSourceDepth(),
                 m.GetRate(),
                 m.GetScale(),
                 m.GetFrameCount(),
                 0,
                 0,
                 FourCCText(m.GetVideoInfo().fccHandler),
                 m.HasAudio(),
                 {},
                 m.GetDecodedChannels()};
    f.fps = static_cast<double>(f.rate) / f.scale;
    f.seconds = f.frames / f.fps;
    m.GetWaveFormat(&f.wfx);
    return f;
}

void PrintText(const MovieFacts& f) {
    fmt::print("File:      {}\n", f.path);
    fmt::print("Video:     TrueMotion 1 ('{}'), {}x{}, {} bpp\n", f.handler, f.width, f.height,
               f.depth);
    fmt::print("Frames:    {} at {:.3f} fps (rate {} / scale {})\n", f.frames, f.fps, f.rate,
               f.scale);
    fmt::print("Length:    {} ({:.2f} s)\n", LengthText(f.frames, f.rate, f.scale), f.seconds);
    if (!f.sound) {
        fmt::print("Audio:     none that Lumeko plays\n");
        return;
    }
    fmt::print("Audio:     {}, {} Hz, {} channel(s) stored, {} played, {} bits, block {}\n",
               AudioFormatName(f.wfx.wFormatTag), f.wfx.nSamplesPerSec, f.wfx.nChannels,
               f.decodedChannels, f.wfx.wBitsPerSample, f.wfx.nBlockAlign);
}

// One movie's facts as a JSON object, each line indented by `indent`.
std::string JsonText(const MovieFacts& f, const std::string& indent) {
    std::string out = "{\n";
    out += fmt::format("  \"path\": {},\n", JsonString(f.path));
    out += fmt::format(
        "  \"video\": {{\"handler\": {}, \"width\": {}, \"height\": {}, \"depth\": {}}},\n",
        JsonString(f.handler), f.width, f.height, f.depth);
    out += fmt::format(
        "  \"frames\": {},\n  \"rate\": {},\n  \"scale\": {},\n  \"fps\": {:.6f},\n"
        "  \"seconds\": {:.6f},\n",
        f.frames, f.rate, f.scale, f.fps, f.seconds);
    if (!f.sound) {
        out += "  \"audio\": null\n}";
    } else {
        out += fmt::format(
            "  \"audio\": {{\"format\": {}, \"tag\": {}, \"sampleRate\": {}, \"channels\": {}, "
            "\"decodedChannels\": {}, \"bits\": {}, \"blockAlign\": {}}}\n}}",
            JsonString(AudioFormatName(f.wfx.wFormatTag)), f.wfx.wFormatTag, f.wfx.nSamplesPerSec,
            f.wfx.nChannels, f.decodedChannels, f.wfx.wBitsPerSample, f.wfx.nBlockAlign);
    }
    std::string indented;
    for (char c : out) {
        indented += c;
        if (c == '\n') indented += indent;
    }
    return indented;
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("info", "Show movies' streams, picture, timing and sound");
    struct Options {
        std::vector<std::string> paths;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    cmd->add_option("MOVIE", o->paths, "The AVI files")->required();
    cmd->add_flag("--json", o->json,
                  "Print the facts as JSON: an object for one movie, an array for several");
    cmd->callback([o] {
        std::vector<std::string> objects;
        bool first = true;
        const bool allRead = ForEachFile(o->paths, [&](const std::string& path) {
            const MovieFacts facts = GatherFacts(path);
            if (o->json) {
                objects.push_back(JsonText(facts, o->paths.size() > 1 ? "  " : ""));
                return;
            }
            if (!first) fmt::print("\n");
            first = false;
            PrintText(facts);
            std::fflush(stdout);
        });
        // Printed when every movie is in (a failed one is left out and reported).
        if (o->json && o->paths.size() == 1) {
            if (!objects.empty()) fmt::print("{}\n", objects.front());
        } else if (o->json) {
            fmt::print("[");
            for (size_t i = 0; i < objects.size(); ++i)
                fmt::print("{}\n  {}", i ? "," : "", objects[i]);
            fmt::print("\n]\n");
        }
        if (!allRead) EndFailed();
    });
}
