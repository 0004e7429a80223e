#include <fmt/core.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Commands.h"
#include "Md5.h"
#include "OpenMovie.h"
#include "ToolOutput.h"
#include "WavFile.h"
#include "movie/DecodedWaveFormat.h"
#include "moviemaker/ImageFile.h"

namespace {

namespace fs = std::filesystem;

std::string Md5OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(path + ": cannot be read back");
    Md5 md5;
    std::vector<char> block(1 << 20);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
        md5.Update(std::span(reinterpret_cast<const uint8_t*>(block.data()),
                             static_cast<size_t>(in.gcount())));
    return md5.FinishHex();
}

// A range of frames, `first` to `last` (inclusive).
struct FrameRange {
    uint32_t first = 0;
    uint32_t last = UINT32_MAX;
};

// The first frame of the range through the player's seek, the rest read in order, as the
// player does after a seek.
void DumpFrames(CDuckMovie& movie, const fs::path& out, bool ppm, bool png, FrameRange range,
                const SafeOutputOptions& options) {
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
    std::string list;
    for (uint32_t i = range.first; i <= range.last && i < movie.GetFrameCount(); ++i) {
        // The picture holds frame i - 1 as decoded: a delta frame only writes its changes.
        const int result = i == range.first && i > 0
                               ? movie.SeekFrame(i, picture.data())
                               : movie.ReadFrame(i, picture.data(), picture.data());
        list += fmt::format("{} {} {}\n", i, Md5::OfBytes(picture), result);
        if (ppm)
            WriteWholeFile((out / fmt::format("frame-{:05d}.ppm", i)).string(),
                           moviemaker::EncodePpm(bmih.biWidth, bmih.biHeight, picture.data()),
                           options);
        if (png) {
            const auto name = (out / fmt::format("frame-{:05d}.png", i)).string();
            if (auto saved =
                    moviemaker::SavePng(name, bmih.biWidth, bmih.biHeight, picture.data(), options);
                !saved)
                Fail(saved.Error().message);
        }
    }
    WriteWholeFile((out / "frames.md5").string(),
                   std::span(reinterpret_cast<const uint8_t*>(list.data()), list.size()), options);
}

// The sound from the start of the range's first frame to the end of its last.
void DumpSound(CDuckMovie& movie, const fs::path& out, FrameRange range,
               const SafeOutputOptions& options) {
    const movie::WAVEFORMATEX wfx = DecodedWaveFormat(movie);
    const uint64_t frameBytes = wfx.nBlockAlign;
    uint64_t left = UINT64_MAX;
    if (range.last < movie.GetFrameCount() - 1)
        left = (movie.AudioSampleOfFrame(range.last + 1) - movie.AudioSampleOfFrame(range.first)) *
               frameBytes;
    if (range.first > 0) movie.SeekAudio(range.first);
    const auto wavPath = (out / "audio.wav").string();
    auto wav =
        WavFile::Create(wavPath, wfx.nChannels, wfx.nSamplesPerSec, wfx.wBitsPerSample, options);
    if (!wav) Fail(wav.Error().message);
    std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
    while (left > 0) {
        const uint32_t bytes =
            static_cast<uint32_t>(std::min<uint64_t>(movie.ReadAudio(chunk.data()), left));
        if (bytes == 0) break;
        left -= bytes;
        if (auto written = wav->Write(std::span(chunk.data(), bytes)); !written)
            Fail(written.Error().message);
    }
    if (auto finished = wav->Finish(); !finished) Fail(finished.Error().message);
    const std::string sum = fmt::format("{}  audio.wav\n", Md5OfFile(wavPath));
    WriteWholeFile((out / "audio.md5").string(),
                   std::span(reinterpret_cast<const uint8_t*>(sum.data()), sum.size()), options);
}

void Dump(const std::string& path, const fs::path& out, bool ppm, bool png, bool force,
          FrameRange range) {
    auto tool = OpenMovieOrFail(path);
    const uint32_t frames = tool->movie.GetFrameCount();
    if (range.first >= frames || range.last < range.first)
        Fail(fmt::format("{}: frames {} to {} are not in the movie's {} frames", path, range.first,
                         range.last == UINT32_MAX ? frames - 1 : range.last, frames));
    range.last = std::min(range.last, frames - 1);
    for (const char* name : {"frames.md5", "audio.wav", "audio.md5"})
        RefuseToReplace((out / name).string(), force);
    std::error_code ec;
    fs::create_directories(out, ec);
    if (ec) Fail(out.string() + ": " + ec.message());
    // Nothing written may be the movie itself, under any name.
    SafeOutputOptions options;
    options.replaceExisting = force;
    if (const auto identity = tool->movie.GetFileIdentity()) options.inputs.push_back(*identity);
    DumpFrames(tool->movie, out, ppm, png, range, options);
    if (tool->movie.HasAudio()) DumpSound(tool->movie, out, range, options);
}

}  // namespace

void AddDumpCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "dump",
        "Decode every frame and all sound into a folder: frames.md5, audio.wav, audio.md5. With "
        "several movies, each goes into a folder of its own inside OUTDIR, named after the movie");
    struct Options {
        std::vector<std::string> paths;
        bool ppm = false, png = false, force = false;
        FrameRange range;
    };
    auto o = std::make_shared<Options>();
    cmd->add_option("paths", o->paths, "The AVI files, then the folder")
        ->type_name("MOVIE... OUTDIR")
        ->required()
        ->expected(2, -1);
    cmd->add_flag("--ppm", o->ppm, "Also write each frame as frame-NNNNN.ppm");
    cmd->add_flag("--png", o->png, "Also write each frame as frame-NNNNN.png (RGB, top row first)");
    cmd->add_flag("-f,--force", o->force, "Replace files that are there already");
    cmd->add_option("--from", o->range.first,
                    "First frame to dump, reached by seeking as the player does");
    cmd->add_option("--to", o->range.last, "Last frame to dump");
    cmd->callback([o] {
        const fs::path outDir = o->paths.back();
        const std::vector<std::string> movies(o->paths.begin(), o->paths.end() - 1);
        if (movies.size() == 1) {
            if (!ForEachFile(movies, [&](const std::string& movie) {
                    Dump(movie, outDir, o->ppm, o->png, o->force, o->range);
                }))
                EndFailed();
            return;
        }
        std::set<std::string> names;
        for (const auto& movie : movies)
            if (!names.insert(fs::path(movie).filename().string()).second)
                FailUsage("two movies are named " + fs::path(movie).filename().string() +
                          "; their dumps would go into the same folder");
        if (!ForEachFile(movies, [&](const std::string& movie) {
                Dump(movie, outDir / fs::path(movie).filename(), o->ppm, o->png, o->force,
                     o->range);
            }))
            EndFailed();
    });
}
