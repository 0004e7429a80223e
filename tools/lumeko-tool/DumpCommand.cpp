#include <fmt/core.h>
#include <fmt/os.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "Commands.h"
#include "Md5.h"
#include "OpenMovie.h"
#include "WavFile.h"
#include "moviemaker/ImageFile.h"

namespace {

void Fail(const Error& error) {
    fmt::print(stderr, "{}\n", error.message);
    throw CLI::RuntimeError(1);
}

// Frames `first` to `last` (inclusive): the first through the player's seek, the rest
// read in order, as the player does after a seek.
void DumpFrames(CDuckMovie& movie, const std::filesystem::path& out, bool ppm, uint32_t first,
                uint32_t last) {
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
    auto list = fmt::output_file((out / "frames.md5").string());
    for (uint32_t i = first; i <= last && i < movie.GetFrameCount(); ++i) {
        const int result = i == first && first > 0 ? movie.SeekFrame(i, picture.data())
                                                   : movie.ReadFrame(i, picture.data());
        list.print("{} {} {}\n", i, Md5::OfBytes(picture), result);
        if (ppm) {
            const auto name = out / fmt::format("frame-{:05d}.ppm", i);
            if (auto saved = moviemaker::SavePpm(name.string(), bmih.biWidth, bmih.biHeight, picture.data()); !saved)
                Fail(saved.error());
        }
    }
}

// The sound from the start of frame `first` to the end of frame `last`.
void DumpSound(CDuckMovie& movie, const std::filesystem::path& out, uint32_t first, uint32_t last) {
    movie::WAVEFORMATEX wfx;
    movie.GetWaveFormat(&wfx);
    const uint16_t bits = wfx.wFormatTag == 1 ? wfx.wBitsPerSample : 16;
    const uint64_t frameBytes = uint64_t{movie.GetDecodedChannels()} * bits / 8;
    uint64_t left = UINT64_MAX;
    if (last < movie.GetFrameCount() - 1)
        left = (movie.AudioSampleOfFrame(last + 1) - movie.AudioSampleOfFrame(first)) * frameBytes;
    if (first > 0) movie.SeekAudio(first);
    const auto wavPath = (out / "audio.wav").string();
    auto wav = WavFile::Create(wavPath, movie.GetDecodedChannels(), wfx.nSamplesPerSec, bits);
    if (!wav) Fail(wav.error());
    std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
    while (left > 0) {
        const uint32_t bytes =
            static_cast<uint32_t>(std::min<uint64_t>(movie.ReadAudio(chunk.data()), left));
        if (bytes == 0) break;
        left -= bytes;
        if (auto written = wav->Write(std::span(chunk.data(), bytes)); !written) Fail(written.error());
    }
    if (auto finished = wav->Finish(); !finished) Fail(finished.error());

    std::ifstream in(wavPath, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    fmt::output_file((out / "audio.md5").string()).print("{}  audio.wav\n", Md5::OfBytes(bytes));
}

}  // namespace

void AddDumpCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("dump", "Decode every frame and all sound into a folder");
    auto path = std::make_shared<std::string>();
    auto outDir = std::make_shared<std::string>();
    auto ppm = std::make_shared<bool>(false);
    cmd->add_option("MOVIE", *path, "The AVI file")->required();
    cmd->add_option("OUTDIR", *outDir, "Folder for frames.md5, audio.wav and audio.md5")->required();
    cmd->add_flag("--ppm", *ppm, "Also write each frame as frame-NNNNN.ppm");
    auto from = std::make_shared<uint32_t>(0);
    auto to = std::make_shared<uint32_t>(UINT32_MAX);
    cmd->add_option("--from", *from, "First frame to dump, reached by seeking as the player does");
    cmd->add_option("--to", *to, "Last frame to dump");
    cmd->callback([=] {
        auto tool = OpenMovieOrFail(*path);
        const uint32_t frames = tool->movie.GetFrameCount();
        if (*from >= frames || *to < *from) {
            fmt::print(stderr, "{}: frames {} to {} are not in the movie's {} frames\n", *path,
                       *from, *to == UINT32_MAX ? frames - 1 : *to, frames);
            throw CLI::RuntimeError(1);
        }
        const uint32_t last = std::min(*to, frames - 1);
        std::error_code ec;
        std::filesystem::create_directories(*outDir, ec);
        if (ec) Fail(MakeError(ErrorKind::Io, *outDir + ": " + ec.message()));
        DumpFrames(tool->movie, *outDir, *ppm, *from, last);
        if (tool->movie.HasAudio()) DumpSound(tool->movie, *outDir, *from, last);
    });
}
