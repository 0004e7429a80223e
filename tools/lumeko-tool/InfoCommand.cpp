#include <fmt/core.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "OpenMovie.h"
#include "audio/AudioFormat.h"

namespace {

std::string FourCCText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(code >> (8 * i));
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

std::string AudioFormatName(uint16_t tag) {
    switch (tag) {
        case audio::kWaveFormatPcm: return "PCM";
        case audio::kWaveFormatDk4: return "DK4 ADPCM";
        case audio::kWaveFormatDk3: return "DK3 ADPCM";
        default: return fmt::format("tag 0x{:x}", tag);
    }
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += fmt::format("\\u{:04x}", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
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
    MovieFacts f{path, bmih.biWidth, bmih.biHeight, m.GetSourceDepth(), m.GetRate(), m.GetScale(),
                 m.GetFrameCount(), 0, 0, FourCCText(m.GetVideoInfo().fccHandler), m.HasAudio(), {},
                 m.GetDecodedChannels()};
    f.fps = static_cast<double>(f.rate) / f.scale;
    f.seconds = f.frames / f.fps;
    m.GetWaveFormat(&f.wfx);
    return f;
}

void PrintText(const MovieFacts& f) {
    const int whole = static_cast<int>(f.seconds);
    fmt::print("File:      {}\n", f.path);
    fmt::print("Video:     TrueMotion 1 ('{}'), {}x{}, {} bpp\n", f.handler, f.width, f.height, f.depth);
    fmt::print("Frames:    {} at {:.3f} fps (rate {} / scale {})\n", f.frames, f.fps, f.rate, f.scale);
    fmt::print("Length:    {:2d}:{:02d} ({:.2f} s)\n", whole / 60, whole % 60, f.seconds);
    if (!f.sound) {
        fmt::print("Audio:     none that Lumeko plays\n");
        return;
    }
    fmt::print("Audio:     {}, {} Hz, {} channel(s) stored, {} played, {} bits, block {}\n",
               AudioFormatName(f.wfx.wFormatTag), f.wfx.nSamplesPerSec, f.wfx.nChannels, f.decodedChannels,
               f.wfx.wBitsPerSample, f.wfx.nBlockAlign);
}

void PrintJson(const MovieFacts& f) {
    fmt::print("{{\n  \"path\": {},\n  \"video\": {{\"handler\": {}, \"width\": {}, \"height\": {}, \"depth\": {}}},\n",
               JsonString(f.path), JsonString(f.handler), f.width, f.height, f.depth);
    fmt::print("  \"frames\": {},\n  \"rate\": {},\n  \"scale\": {},\n  \"fps\": {:.6f},\n  \"seconds\": {:.6f},\n",
               f.frames, f.rate, f.scale, f.fps, f.seconds);
    if (!f.sound) {
        fmt::print("  \"audio\": null\n}}\n");
        return;
    }
    fmt::print("  \"audio\": {{\"format\": {}, \"tag\": {}, \"sampleRate\": {}, \"channels\": {}, "
               "\"decodedChannels\": {}, \"bits\": {}, \"blockAlign\": {}}}\n}}\n",
               JsonString(AudioFormatName(f.wfx.wFormatTag)), f.wfx.wFormatTag, f.wfx.nSamplesPerSec,
               f.wfx.nChannels, f.decodedChannels, f.wfx.wBitsPerSample, f.wfx.nBlockAlign);
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("info", "Show a movie's streams, picture, timing and sound");
    auto path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("MOVIE", *path, "The AVI file")->required();
    cmd->add_flag("--json", *json, "Print the facts as JSON");
    cmd->callback([path, json] {
        const MovieFacts facts = GatherFacts(*path);
        *json ? PrintJson(facts) : PrintText(facts);
    });
}
