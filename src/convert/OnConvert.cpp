#include <algorithm>
#include <optional>

#include "convert/ConvertSteps.h"
#include "movie/AviRecordCodec.h"
#include "movie/DecodedWaveFormat.h"
#include "playback/LumekoDoc.h"

namespace {

constexpr char kConvertingPictures[] = "画像変換中";
constexpr char kConvertingSound[] = "音声変換中";
constexpr char kConversionDone[] = "変換終了";

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
    // Afterwards the view shows the first frame again and the sound starts over.
    const auto showFirstFrame = [this] {
        m_movie.ReadFrame(0, m_pFrameSlot[0]);
        m_pCurrentImage = m_pFrameSlot[0];
        InvalidateView();
        m_movie.RewindAudio();
    };

    SafeOutputOptions outputOptions;
    outputOptions.replaceExisting = host.MayReplaceExisting();
    const std::optional<std::string> path = convert::ChooseTarget(host, m_movie, outputOptions);
    if (!path) return;

    // MP4 and WebM: a quality choice instead of the compressor dialog, and the host's
    // exporter instead of the AVI writer.
    if (const auto format = convert::ExportFormatForPath(*path)) {
        convert::ExportSettings settings;
        settings.format = *format;
        if (!host.ChooseExportQuality(settings)) return;
        SetPane(0, kConvertingPictures);
        const auto exported = host.ExportMovie(m_movie, *path, settings);
        showFirstFrame();
        SetPane(0, exported ? kConversionDone : "");
        if (!exported && !host.Cancelled()) host.ShowError(exported.Error().message);
        return;
    }

    movie::BITMAPINFOHEADER input;
    m_movie.GetBitmapHeader(&input);
    input.biCompression = movie::BI_RGB;
    auto chosen = convert::ChooseCompressor(host, input, static_cast<double>(m_fRate) / m_fScale);
    if (!chosen) return;

    const movie::AVISTREAMINFO video =
        convert::VideoStreamInfo(chosen->vars.fccHandler, m_fRate, m_fScale, m_nFrameCount, input);
    const movie::WAVEFORMATEX wfx = DecodedWaveFormat(m_movie);
    const movie::AVISTREAMINFO sound = convert::SoundStreamInfo(video, wfx, m_nAudioBufferSize);

    // A failure says why, and never leaves an earlier conversion's end in pane 0.
    const auto fail = [&](const Error& error) {
        SetPane(0, "");
        host.ShowError(error.message);
    };
    auto writer = movie::AviWriter::Create(*path, host.OutputFiles(), outputOptions);
    if (!writer) return fail(writer.Error());
    auto videoStream = writer->AddStream(video, chosen->format);
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
    SetPane(0, kConvertingPictures);
    Result<void> written = convert::WriteVideo(
        host, m_movie, m_nFrameCount, m_pFrameSlot[0], m_nSlotBytes, [this] { InvalidateView(); },
        {*writer, *videoStream, chosen->compressor.get(), input.biSizeImage});
    showFirstFrame();

    SetPane(0, kConvertingSound);
    if (written && hasSound)
        written = convert::WriteSound(host, m_movie, m_pAudioBuffer[0], *writer, *soundStream);
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
