#include "moviemaker/SceneSound.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/Dk3Encoder.h"
#include "audio/Dk4Encoder.h"
#include "moviemaker/TestScene.h"

namespace moviemaker {
namespace {

struct KindLayout {
    uint16_t tag;
    uint16_t channels;
    uint16_t bits;
    uint16_t blockAlign;
};

KindLayout LayoutOf(SoundKind kind) {
    switch (kind) {
        case SoundKind::kPcm8:
            return {WAVE_FORMAT_PCM, 2, 8, 2};
        case SoundKind::kPcm16:
            return {WAVE_FORMAT_PCM, 2, 16, 4};
        case SoundKind::kDk4Stereo:
            return {audio::kWaveFormatDk4, 2, 4, audio::kDefaultDk4StereoBlockAlign};
        case SoundKind::kDk4Mono:
            return {audio::kWaveFormatDk4, 1, 4, audio::kDefaultDk4MonoBlockAlign};
        case SoundKind::kDk3:
            return {audio::kWaveFormatDk3, 2, 4, audio::kDefaultDk3BlockAlign};
        case SoundKind::kNone:
            break;
    }
    return {};
}

std::vector<uint8_t> ToPcmBytes(const std::vector<int16_t>& samples, uint16_t bits) {
    std::vector<uint8_t> bytes;
    bytes.reserve(samples.size() * bits / 8);
    for (int16_t s : samples) {
        if (bits == 8) {
            bytes.push_back(static_cast<uint8_t>((s >> 8) + 128));
        } else {
            bytes.push_back(static_cast<uint8_t>(s & 0xFF));
            bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
        }
    }
    return bytes;
}

}  // namespace

Result<CodedSound> CodeSceneSound(SoundKind kind, int sampleRate, double seconds,
                                  double chunkSeconds) {
    const KindLayout layout = LayoutOf(kind);
    if (layout.tag == 0 || sampleRate <= 0 || seconds < 0)
        return MakeError(ErrorKind::Unsupported, "no sound to code");

    const auto totalFrames = static_cast<int64_t>(std::llround(seconds * sampleRate));
    std::vector<int16_t> pcm(static_cast<size_t>(totalFrames) * layout.channels);
    RenderSceneSound(sampleRate, layout.channels, 0, totalFrames, pcm);

    CodedSound sound;
    auto& f = sound.format;
    f.wFormatTag = layout.tag;
    f.nChannels = layout.channels;
    f.nSamplesPerSec = static_cast<uint32_t>(sampleRate);
    f.nBlockAlign = layout.blockAlign;
    f.wBitsPerSample = layout.bits;

    std::vector<uint8_t> coded;
    size_t framesPerBlock = 1;
    if (layout.tag == WAVE_FORMAT_PCM) {
        coded = ToPcmBytes(pcm, layout.bits);
        f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    } else {
        auto blocks = layout.tag == audio::kWaveFormatDk4
                          ? audio::EncodeDk4(pcm, layout.channels, layout.blockAlign)
                          : audio::EncodeDk3(pcm, layout.channels, layout.blockAlign);
        if (!blocks) return blocks.Error();
        coded = std::move(blocks.Value());
        framesPerBlock = audio::FramesPerBlock(layout.tag, layout.channels, layout.blockAlign);
        sound.samplesPerBlock = static_cast<uint16_t>(framesPerBlock);
        f.cbSize = 2;
        f.nAvgBytesPerSec = static_cast<uint32_t>(std::llround(
            static_cast<double>(f.nBlockAlign) * sampleRate / static_cast<double>(framesPerBlock)));
    }

    const double blockSeconds = static_cast<double>(framesPerBlock) / sampleRate;
    const size_t blocksPerChunk =
        std::max<size_t>(1, static_cast<size_t>(std::ceil(chunkSeconds / blockSeconds)));
    const size_t chunkBytes = blocksPerChunk * layout.blockAlign;
    sound.chunkSeconds = static_cast<double>(blocksPerChunk) * blockSeconds;
    for (size_t at = 0; at < coded.size(); at += chunkBytes) {
        const size_t n = std::min(chunkBytes, coded.size() - at);
        sound.chunks.emplace_back(coded.begin() + static_cast<std::ptrdiff_t>(at),
                                  coded.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    return sound;
}

}  // namespace moviemaker
