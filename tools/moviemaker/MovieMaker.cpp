#include "moviemaker/MovieMaker.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "movie/AviRecordCodec.h"
#include "movie/AviWriter.h"
#include "moviemaker/ImageFile.h"
#include "moviemaker/SceneSound.h"
#include "moviemaker/TestScene.h"

namespace moviemaker {
namespace {

// Sound is written this far ahead of the picture, as players expect of interleaved files.
constexpr double kSoundLeadSeconds = 0.25;
// Each sound chunk holds about this many frames' worth.
constexpr double kFramesPerSoundChunk = 2.0;

void SetName(char (&field)[64], const char* name) {
    std::strncpy(field, name, sizeof field - 1);
}

movie::AVISTREAMINFO VideoStreamInfo(const MovieSpec& spec, uint32_t largestFrame) {
    movie::AVISTREAMINFO info;
    info.fccType = movie::streamtypeVIDEO;
    info.fccHandler = movie::MakeFourCC("DUCK");
    info.dwScale = spec.scale;
    info.dwRate = spec.rate;
    info.dwLength = static_cast<uint32_t>(spec.frames);
    info.dwSuggestedBufferSize = largestFrame;
    info.dwQuality = 0xFFFFFFFF;
    info.rcFrame = {0, 0, spec.width, spec.height};
    SetName(info.szName, "Lumeko test scene");
    return info;
}

std::vector<uint8_t> VideoFormat(const MovieSpec& spec) {
    movie::BITMAPINFOHEADER bmih;
    bmih.biWidth = spec.width;
    bmih.biHeight = spec.height;
    bmih.biBitCount = 24;
    bmih.biCompression = movie::MakeFourCC("DUCK");
    bmih.biSizeImage = static_cast<uint32_t>(spec.width * spec.height * 3);
    return movie::SerializeBitmapInfoHeader(bmih);
}

movie::AVISTREAMINFO SoundStreamInfo(const CodedSound& sound) {
    movie::AVISTREAMINFO info;
    info.fccType = movie::streamtypeAUDIO;
    info.dwScale = sound.format.nBlockAlign;
    info.dwRate = sound.format.nAvgBytesPerSec;
    info.dwSampleSize = sound.format.nBlockAlign;
    info.dwQuality = 0xFFFFFFFF;
    size_t bytes = 0, largest = 0;
    for (const auto& chunk : sound.chunks) {
        bytes += chunk.size();
        largest = std::max(largest, chunk.size());
    }
    info.dwLength = static_cast<uint32_t>(bytes / sound.format.nBlockAlign);
    info.dwSuggestedBufferSize = static_cast<uint32_t>(largest);
    SetName(info.szName, "Lumeko tone sweep");
    return info;
}

std::vector<uint8_t> SoundFormat(const CodedSound& sound) {
    std::vector<uint8_t> format = movie::SerializeWaveFormat(sound.format);
    if (sound.format.cbSize == 2) {
        format.push_back(static_cast<uint8_t>(sound.samplesPerBlock & 0xFF));
        format.push_back(static_cast<uint8_t>(sound.samplesPerBlock >> 8));
    }
    return format;
}

// The pictures of the movie, one at a time, from the scene or from files.
class PictureSource {
public:
    explicit PictureSource(const MovieSpec& spec)
        : m_spec(spec), m_scene(static_cast<size_t>(spec.width) * spec.height * 3) {}

    Result<std::span<const uint8_t>> Frame(int index) {
        if (m_spec.imagePaths.empty()) {
            DrawSceneFrame(m_spec.width, m_spec.height, index,
                           static_cast<double>(m_spec.rate) / m_spec.scale, m_scene);
            return std::span<const uint8_t>(m_scene);
        }
        auto picture = LoadPicture(m_spec.imagePaths[static_cast<size_t>(index)]);
        if (!picture) return picture.Error();
        if (picture->width != m_spec.width || picture->height != m_spec.height)
            return MakeError(ErrorKind::Unsupported, m_spec.imagePaths[static_cast<size_t>(index)] +
                                                         ": picture size differs from the first");
        m_file = std::move(picture->bgr);
        return std::span<const uint8_t>(m_file);
    }

private:
    const MovieSpec& m_spec;
    std::vector<uint8_t> m_scene;
    std::vector<uint8_t> m_file;
};

}  // namespace

Result<void> MakeMovie(const MovieSpec& spec, const std::string& path,
                       const SafeOutputOptions& options) {
    if (spec.frames <= 0 || spec.rate == 0 || spec.scale == 0 || spec.keyEvery <= 0)
        return MakeError(ErrorKind::Unsupported,
                         "frames, rate, scale and key interval must be positive");

    truemotion::EncoderSettings settings;
    settings.mode = spec.mode;
    auto encoder = truemotion::TrueMotionEncoder::Create(spec.width, spec.height, settings);
    if (!encoder) return encoder.Error();

    const double fps = static_cast<double>(spec.rate) / spec.scale;
    std::optional<CodedSound> sound;
    if (spec.sound != SoundKind::kNone) {
        const double seconds = spec.soundSeconds > 0 ? spec.soundSeconds : spec.frames / fps;
        const double chunkSeconds =
            spec.soundChunkSeconds > 0 ? spec.soundChunkSeconds : kFramesPerSoundChunk / fps;
        auto coded = CodeSceneSound(spec.sound, spec.sampleRate, seconds, chunkSeconds);
        if (!coded) return coded.Error();
        sound = std::move(coded.Value());
    }

    // Frames are coded first so the stream headers carry the true largest chunk.
    PictureSource pictures(spec);
    std::vector<std::vector<uint8_t>> frames(static_cast<size_t>(spec.frames));
    uint32_t largestFrame = 0;
    for (int i = 0; i < spec.frames; ++i) {
        auto picture = pictures.Frame(i);
        if (!picture) return picture.Error();
        auto& frame = frames[static_cast<size_t>(i)];
        if (i % spec.keyEvery == 0)
            encoder->EncodeKeyFrame(*picture, frame);
        else
            encoder->EncodeDeltaFrame(*picture, frame);
        largestFrame = std::max(largestFrame, static_cast<uint32_t>(frame.size()));
    }

    auto writer = movie::AviWriter::Create(path, movie::OutputFiles::Disk(), options);
    if (!writer) return writer.Error();
    auto videoStream = writer->AddStream(VideoStreamInfo(spec, largestFrame), VideoFormat(spec));
    if (!videoStream) return videoStream.Error();
    std::optional<int> soundStream;
    if (sound) {
        auto added = writer->AddStream(SoundStreamInfo(*sound), SoundFormat(*sound));
        if (!added) return added.Error();
        soundStream = *added;
    }

    size_t nextChunk = 0;
    for (int i = 0; i < spec.frames; ++i) {
        while (sound && nextChunk < sound->chunks.size() &&
               static_cast<double>(nextChunk) * sound->chunkSeconds <
                   (i + 1) / fps + kSoundLeadSeconds) {
            LUMEKO_TRY(writer->Write(*soundStream, sound->chunks[nextChunk], true));
            ++nextChunk;
        }
        LUMEKO_TRY(
            writer->Write(*videoStream, frames[static_cast<size_t>(i)], i % spec.keyEvery == 0));
    }
    for (; sound && nextChunk < sound->chunks.size(); ++nextChunk)
        LUMEKO_TRY(writer->Write(*soundStream, sound->chunks[nextChunk], true));
    return writer->Finish();
}

}  // namespace moviemaker
