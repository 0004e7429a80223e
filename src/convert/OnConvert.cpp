#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "base/FourCC.h"
#include "base/SafeOutputFile.h"
#include "base/TruncateToUnsigned.h"
#include "convert/Compressor.h"
#include "convert/ConversionHost.h"
#include "convert/FramePipeline.h"
#include "movie/AviRecordCodec.h"
#include "movie/AviWriter.h"
#include "playback/LumekoDoc.h"

namespace {

constexpr char kCannotConvert[] = "このCODECには変換できません";
constexpr char kConvertingPictures[] = "画像変換中";
constexpr char kConvertingSound[] = "音声変換中";
constexpr char kConversionDone[] = "変換終了";
constexpr char kSourceIsOutput[] = "変換元のﾌｧｲﾙには書き込めません";
constexpr char kVideoName[] = "ZEVEDI TrueMotion Video #1";
// "TrueMotin" is misspelt on purpose: every movie this converter ever wrote carries this
// name, and tools that look for it must keep finding it.
constexpr char kAudioName[] = "ZEVEDI TrueMotin Audio #1";

void SetName(char (&field)[64], const char* name) {
    std::strncpy(field, name, sizeof field - 1);
}

}  // namespace

namespace convert {

std::string ProposedOutputPath(const std::string& moviePath) {
    const size_t dot = moviePath.find_last_of('.');
    return (dot == std::string::npos ? moviePath : moviePath.substr(0, dot)) + ".avi";
}

}  // namespace convert

void CLumekoDoc::OnConvert(convert::IConversionHost& host) {
    if (!m_bOpen) return;
    // The movie and the first ring slot are the conversion's alone: playback stops.
    if (m_bPlaying) StopPlayback();
    if (!m_bOpen) return;

    // The movie being read is never the one written, under any name (a link, a hard
    // link); the writer checks again whatever it opens.
    SafeOutputOptions outputOptions;
    outputOptions.replaceExisting = host.MayReplaceExisting();
    if (const auto source = m_movie.GetFileIdentity()) outputOptions.inputs.push_back(*source);
    std::optional<std::string> path;
    for (;;) {
        path = host.ChooseOutputPath(convert::ProposedOutputPath(m_movie.GetPath()));
        if (!path) return;
        const auto target = FileIdentity::OfPath(*path);
        if (!target || std::find(outputOptions.inputs.begin(), outputOptions.inputs.end(),
                                 *target) == outputOptions.inputs.end())
            break;
        host.ShowFailure(kSourceIsOutput, *path + ": is the movie being converted");
    }
    // MP4 and WebM: a quality choice instead of the compressor dialog, and the host's
    // exporter instead of the AVI writer.
    if (const auto format = convert::ExportFormatForPath(*path)) {
        convert::ExportSettings settings;
        settings.format = *format;
        if (!host.ChooseExportQuality(settings)) return;
        SetPane(0, kConvertingPictures);
        const auto exported = host.ExportMovie(m_movie, *path, settings);
        m_movie.ReadFrame(0, m_pFrameSlot[0]);
        m_pCurrentImage = m_pFrameSlot[0];
        InvalidateView();
        m_movie.RewindAudio();
        SetPane(0, exported ? kConversionDone : "");
        if (!exported && !host.Cancelled()) host.ShowError(exported.Error().message);
        return;
    }

    movie::BITMAPINFOHEADER input;
    m_movie.GetBitmapHeader(&input);
    input.biCompression = movie::BI_RGB;

    convert::COMPVARS vars;
    std::unique_ptr<convert::ICompressor> compressor;
    std::vector<uint8_t> videoFormat;
    for (;;) {
        vars = convert::COMPVARS{};
        vars.framesPerSecond = static_cast<double>(m_fRate) / m_fScale;
        if (!host.ChooseCompressor(vars)) return;
        if (vars.fccHandler == convert::kFccUncompressed) {
            compressor.reset();
            videoFormat = movie::SerializeBitmapInfoHeader(input);
            break;
        }
        compressor = convert::CreateCompressor(vars.fccHandler);
        std::string reason = "no compressor is installed for '" + FourCCText(vars.fccHandler) + "'";
        if (compressor) {
            auto started = compressor->SeqCompressFrameStart(vars, input);
            if (started) {
                videoFormat = std::move(started.Value());
                break;
            }
            reason = started.Error().message;
        }
        host.ShowFailure(kCannotConvert, reason);
    }

    movie::AVISTREAMINFO video;
    video.fccType = movie::streamtypeVIDEO;
    video.fccHandler = vars.fccHandler;
    video.dwScale = TruncateToUnsigned(m_fScale);
    video.dwRate = TruncateToUnsigned(m_fRate);
    video.dwLength = m_nFrameCount;
    const size_t pictureBytes =
        static_cast<size_t>(input.biWidth) * static_cast<size_t>(input.biHeight) * 3;
    video.dwSuggestedBufferSize = static_cast<uint32_t>(pictureBytes);
    video.rcFrame = {0, 0, input.biWidth, input.biHeight};
    video.dwFormatChangeCount = 1;
    SetName(video.szName, kVideoName);

    movie::WAVEFORMATEX wfx;
    m_movie.GetWaveFormat(&wfx);
    if (wfx.wFormatTag != movie::WAVE_FORMAT_PCM) {
        wfx.wFormatTag = movie::WAVE_FORMAT_PCM;
        wfx.wBitsPerSample = 16;
        // What the decoders produce: DK3 always has two channels.
        if (m_movie.HasAudio()) wfx.nChannels = m_movie.GetDecodedChannels();
    }
    wfx.nBlockAlign = static_cast<uint16_t>(wfx.nChannels * wfx.wBitsPerSample / 8);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    wfx.cbSize = 0;
    movie::AVISTREAMINFO sound = video;
    sound.fccType = movie::streamtypeAUDIO;
    sound.fccHandler = 0;
    sound.dwScale = wfx.nBlockAlign;
    sound.dwRate = wfx.nSamplesPerSec * wfx.nBlockAlign;
    sound.dwLength = 0;
    sound.dwSuggestedBufferSize = m_nAudioBufferSize;
    sound.dwSampleSize = wfx.nBlockAlign;
    sound.rcFrame.right = 0;
    sound.rcFrame.bottom = 0;
    SetName(sound.szName, kAudioName);

    // A failure says why, and never leaves an earlier conversion's end in pane 0.
    const auto fail = [&](const Error& error) {
        SetPane(0, "");
        host.ShowError(error.message);
    };
    auto writer = movie::AviWriter::Create(*path, host.OutputFiles(), outputOptions);
    if (!writer) return fail(writer.Error());
    auto videoStream = writer->AddStream(video, videoFormat);
    if (!videoStream) return fail(videoStream.Error());
    // A movie without sound gets no sound stream: its format record holds nothing valid.
    const bool hasSound = m_movie.HasAudio() && m_pAudioBuffer[0] && wfx.nBlockAlign;
    Result<int> soundStream = MakeError(ErrorKind::Unsupported, "no sound");
    if (hasSound) {
        soundStream = writer->AddStream(sound, movie::SerializeWaveFormat(wfx));
        if (!soundStream) return fail(soundStream.Error());
    }

    // A write that fails ends the conversion; the writer then leaves nothing behind,
    // and pane 0 says why instead of announcing the end.
    Result<void> written;
    SetPane(0, kConvertingPictures);
    uint8_t* image = m_pFrameSlot[0];
    // Frames decode on a thread of their own, a few ahead of the compressor.
    std::optional<convert::FramePipeline> pipeline;
    pipeline.emplace(m_nFrameCount, pictureBytes, image,
                     [this](uint32_t index, uint8_t* picture, const uint8_t* previous) {
                         return m_movie.ReadFrame(index, picture, previous);
                     });
    if (!pipeline->Started()) written = MakeError(ErrorKind::Io, "not enough memory to convert");
    for (uint32_t i = 0; i < m_nFrameCount && written; ++i) {
        // The view shows the frame being converted.
        std::memcpy(image, pipeline->Acquire(), pictureBytes);
        pipeline->Release();
        InvalidateView();
        if (!compressor) {
            // The header's image size may exceed the decoded picture; never read past it.
            const size_t bytes = std::min<size_t>(input.biSizeImage, pictureBytes);
            written = writer->Write(*videoStream, std::span(image, bytes), true);
        } else {
            bool key = false;
            const auto data = compressor->SeqCompressFrame(image, key);
            written =
                data.empty()
                    ? Result<void>(MakeError(ErrorKind::Corrupt,
                                             "the compressor failed on frame " + std::to_string(i)))
                    : writer->Write(*videoStream, data, key);
        }
        host.ShowProgress(convert::IConversionHost::Stage::kPictures, i + 1, m_nFrameCount);
        host.PumpMessages();
        if (written && host.Cancelled()) written = MakeError(ErrorKind::Cancelled, "cancelled");
    }
    // The movie is the caller's again once the decoding thread has stopped.
    pipeline.reset();
    m_movie.ReadFrame(0, image);
    m_pCurrentImage = image;
    InvalidateView();
    m_movie.RewindAudio();

    SetPane(0, kConvertingSound);
    if (hasSound) {
        const uint64_t total = m_movie.GetAudioInfo().dwLength;
        while (written) {
            const uint32_t bytes = m_movie.ReadAudio(m_pAudioBuffer[0]);
            if (bytes == 0) break;
            written = writer->Write(*soundStream, std::span(m_pAudioBuffer[0], bytes), false);
            host.ShowProgress(convert::IConversionHost::Stage::kSound,
                              std::min<uint64_t>(m_movie.GetAudioPosition(), total), total);
            host.PumpMessages();
            if (written && host.Cancelled()) written = MakeError(ErrorKind::Cancelled, "cancelled");
        }
    }
    if (written) written = writer->Finish();
    if (written) {
        SetPane(0, kConversionDone);
    } else if (host.Cancelled()) {
        // A failed or cancelled conversion leaves no file behind and never says it ended well.
        SetPane(0, "");
    } else {
        fail(written.Error());
    }
}
