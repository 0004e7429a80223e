#include "convert/ConvertSteps.h"

#include <algorithm>
#include <cstring>

#include "base/FourCC.h"
#include "base/TruncateToUnsigned.h"
#include "convert/FramePipeline.h"
#include "movie/AviRecordCodec.h"
#include "movie/DuckMovie.h"
#include "platform/MessageBox.h"

namespace convert {

namespace {

constexpr char kVideoName[] = "ZEVEDI TrueMotion Video #1";
// Misspelled as every file made before spells it; readers may look for it.
constexpr char kAudioName[] = "ZEVEDI TrueMotin Audio #1";

void SetName(char (&field)[64], const char* name) {
    std::strncpy(field, name, sizeof field - 1);
}

// After each written chunk: the progress shown, waiting messages dispatched, and the
// user's stop turned into the error that ends the conversion.
Result<void> AfterChunk(IConversionHost& host, IConversionHost::Stage stage, uint64_t done,
                        uint64_t total, Result<void> written) {
    host.ShowProgress(stage, done, total);
    host.PumpMessages();
    if (written && host.Cancelled()) return MakeError(ErrorKind::Cancelled, "cancelled");
    return written;
}

}  // namespace

std::optional<std::string> ChooseTarget(IConversionHost& host, const CDuckMovie& movie,
                                        SafeOutputOptions& options) {
    if (const auto source = movie.GetFileIdentity()) options.inputs.push_back(*source);
    for (;;) {
        auto path = host.ChooseOutputPath(ProposedOutputPath(movie.GetPath()));
        if (!path) return std::nullopt;
        const auto target = FileIdentity::OfPath(*path);
        if (!target || std::find(options.inputs.begin(), options.inputs.end(), *target) ==
                           options.inputs.end())
            return path;
        host.ShowFailure(platform::kSourceIsOutputText, *path + ": is the movie being converted");
    }
}

std::optional<StartedCompressor> ChooseCompressor(IConversionHost& host,
                                                  const movie::BITMAPINFOHEADER& input,
                                                  double framesPerSecond) {
    for (;;) {
        StartedCompressor chosen;
        chosen.vars.framesPerSecond = framesPerSecond;
        if (!host.ChooseCompressor(chosen.vars)) return std::nullopt;
        if (chosen.vars.fccHandler == kFccUncompressed) {
            chosen.format = movie::SerializeBitmapInfoHeader(input);
            return chosen;
        }
        chosen.compressor = CreateCompressor(chosen.vars.fccHandler);
        std::string reason =
            "no compressor is installed for '" + FourCCText(chosen.vars.fccHandler) + "'";
        if (chosen.compressor) {
            auto started = chosen.compressor->SeqCompressFrameStart(chosen.vars, input);
            if (started) {
                chosen.format = std::move(started.Value());
                return chosen;
            }
            reason = started.Error().message;
        }
        host.ShowFailure(platform::kCannotConvertText, reason);
    }
}

movie::AVISTREAMINFO VideoStreamInfo(uint32_t fccHandler, float rate, float scale, uint32_t frames,
                                     const movie::BITMAPINFOHEADER& input) {
    movie::AVISTREAMINFO video;
    video.fccType = movie::streamtypeVIDEO;
    video.fccHandler = fccHandler;
    video.dwScale = TruncateToUnsigned(scale);
    video.dwRate = TruncateToUnsigned(rate);
    video.dwLength = frames;
    video.dwSuggestedBufferSize = static_cast<uint32_t>(static_cast<size_t>(input.biWidth) *
                                                        static_cast<size_t>(input.biHeight) * 3);
    video.rcFrame = {0, 0, input.biWidth, input.biHeight};
    video.dwFormatChangeCount = 1;
    SetName(video.szName, kVideoName);
    return video;
}

movie::AVISTREAMINFO SoundStreamInfo(const movie::AVISTREAMINFO& video,
                                     const movie::WAVEFORMATEX& sound, uint32_t bufferBytes) {
    // The video's header with what differs for sound; the rest (start, quality,
    // format changes) as the pictures have it.
    movie::AVISTREAMINFO info = video;
    info.fccType = movie::streamtypeAUDIO;
    info.fccHandler = 0;
    info.dwScale = sound.nBlockAlign;
    info.dwRate = sound.nSamplesPerSec * sound.nBlockAlign;
    info.dwLength = 0;
    info.dwSuggestedBufferSize = bufferBytes;
    info.dwSampleSize = sound.nBlockAlign;
    info.rcFrame.right = 0;
    info.rcFrame.bottom = 0;
    SetName(info.szName, kAudioName);
    return info;
}

Result<void> WriteVideo(IConversionHost& host, CDuckMovie& movie, uint32_t frames, uint8_t* picture,
                        size_t pictureBytes, const std::function<void()>& showPicture,
                        const VideoOutput& output) {
    // Frames decode on a thread of their own, a few ahead of the compressor.
    FramePipeline pipeline(frames, pictureBytes, picture,
                           [&movie](uint32_t index, uint8_t* into, const uint8_t* previous) {
                               return movie.ReadFrame(index, into, previous);
                           });
    if (!pipeline.Started())
        return MakeError(ErrorKind::OutOfMemory, "not enough memory to convert");
    Result<void> written;
    for (uint32_t i = 0; i < frames && written; ++i) {
        // The view shows the frame being converted.
        std::memcpy(picture, pipeline.Acquire(), pictureBytes);
        pipeline.Release();
        showPicture();
        if (!output.compressor) {
            // The header's image size may exceed the decoded picture; never read past it.
            const size_t bytes = std::min<size_t>(output.imageBytes, pictureBytes);
            written = output.writer.Write(output.stream, std::span(picture, bytes), true);
        } else {
            bool key = false;
            const auto data = output.compressor->SeqCompressFrame(picture, key);
            written =
                data.empty()
                    ? Result<void>(MakeError(ErrorKind::Corrupt,
                                             "the compressor failed on frame " + std::to_string(i)))
                    : output.writer.Write(output.stream, data, key);
        }
        written = AfterChunk(host, IConversionHost::Stage::kPictures, i + 1, frames, written);
    }
    // The movie is the caller's again once the decoding thread has stopped (the pipeline
    // goes with this scope).
    return written;
}

Result<void> WriteSound(IConversionHost& host, CDuckMovie& movie, uint8_t* buffer,
                        movie::AviWriter& writer, int stream) {
    const uint64_t total = movie.GetAudioInfo().dwLength;
    Result<void> written;
    while (written) {
        const uint32_t bytes = movie.ReadAudio(buffer);
        if (bytes == 0) break;
        written = writer.Write(stream, std::span(buffer, bytes), false);
        written = AfterChunk(host, IConversionHost::Stage::kSound,
                             std::min<uint64_t>(movie.GetAudioPosition(), total), total, written);
    }
    return written;
}

}  // namespace convert
