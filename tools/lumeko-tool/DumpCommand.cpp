#include <fmt/core.h>
#include <fmt/os.h>

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

void DumpFrames(CDuckMovie& movie, const std::filesystem::path& out, bool ppm, bool png) {
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
    auto list = fmt::output_file((out / "frames.md5").string());
    for (uint32_t i = 0; i < movie.GetFrameCount(); ++i) {
        const int result = movie.ReadFrame(i, picture.data());
        list.print("{} {} {}\n", i, Md5::OfBytes(picture), result);
        if (ppm) {
            const auto name = out / fmt::format("frame-{:05d}.ppm", i);
            if (auto saved = moviemaker::SavePpm(name.string(), bmih.biWidth, bmih.biHeight, picture.data()); !saved)
                Fail(saved.error());
        }
        if (png) {
            const auto name = out / fmt::format("frame-{:05d}.png", i);
            if (auto saved = moviemaker::SavePng(name.string(), bmih.biWidth, bmih.biHeight, picture.data()); !saved)
                Fail(saved.error());
        }
    }
}

void DumpSound(CDuckMovie& movie, const std::filesystem::path& out) {
    movie::WAVEFORMATEX wfx;
    movie.GetWaveFormat(&wfx);
    const uint16_t bits = wfx.wFormatTag == 1 ? wfx.wBitsPerSample : 16;
    const auto wavPath = (out / "audio.wav").string();
    auto wav = WavFile::Create(wavPath, movie.GetDecodedChannels(), wfx.nSamplesPerSec, bits);
    if (!wav) Fail(wav.error());
    std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
    while (const uint32_t bytes = movie.ReadAudio(chunk.data())) {
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
    auto png = std::make_shared<bool>(false);
    cmd->add_option("MOVIE", *path, "The AVI file")->required();
    cmd->add_option("OUTDIR", *outDir, "Folder for frames.md5, audio.wav and audio.md5")->required();
    cmd->add_flag("--ppm", *ppm, "Also write each frame as frame-NNNNN.ppm");
    cmd->add_flag("--png", *png, "Also write each frame as frame-NNNNN.png, for editors (the sound is audio.wav)");
    cmd->callback([=] {
        auto tool = OpenMovieOrFail(*path);
        std::error_code ec;
        std::filesystem::create_directories(*outDir, ec);
        if (ec) Fail(MakeError(ErrorKind::Io, *outDir + ": " + ec.message()));
        DumpFrames(tool->movie, *outDir, *ppm, *png);
        if (tool->movie.HasAudio()) DumpSound(tool->movie, *outDir);
    });
}
